// The Win32 window backend.
//
// The editor is a borderless WS_CHILD window inside the host's HWND. Its
// class is registered with this DLL's own instance handle under a name that
// carries that handle, and unregistered when the last editor window of the
// DLL goes, so the DLL can be unloaded and loaded again (and two copies of
// it loaded from different folders do not share a class).
//
// The host's message loop delivers everything: mouse messages, WM_TIMER
// (Timer2, 25 ms) and WM_PAINT. The composed canvas is copied into a DIB
// section and blitted from there, so the screen never shows a half-drawn
// picture; effEditIdle only makes a pending repaint happen at once.
//
// No exception leaves the window procedure: the host's message loop is not
// ours, and a C++ exception unwinding through user32 is undefined.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "backend.h"

namespace halvorine::editor {
namespace {

constexpr UINT_PTR kTimerId = 1;

// The module this code is in (the DLL, or a test program it is linked into),
// found from the address of something of ours.
HINSTANCE thisModule() {
    static const char anchor = 0;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&anchor), &module);
    return module;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// The window class, shared by the editor windows of this DLL.
class WindowClass {
public:
    // Registers the class with the first window; null when that fails.
    const wchar_t* acquire() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (users_ == 0 && !registerClass()) return nullptr;
        ++users_;
        return name_;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (users_ > 0 && --users_ == 0) UnregisterClassW(name_, thisModule());
    }

private:
    bool registerClass() {
        const HINSTANCE module = thisModule();
        const wchar_t prefix[] = L"HalvorineEditor.";
        std::size_t n = 0;
        for (const wchar_t* p = prefix; *p; ++p) name_[n++] = *p;
        const auto address = reinterpret_cast<std::uintptr_t>(module);
        for (int shift = static_cast<int>(sizeof address) * 8 - 4; shift >= 0; shift -= 4)
            name_[n++] = L"0123456789ABCDEF"[(address >> shift) & 0xF];
        name_[n] = L'\0';
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        // No CS_HREDRAW/VREDRAW: we always paint every pixel. Double-clicks
        // are the system's to judge (its time and distance).
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = windowProc;
        wc.hInstance = module;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = nullptr;
        wc.lpszClassName = name_;
        if (RegisterClassExW(&wc)) return true;
        if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
        // Left behind by an earlier load of this DLL at the same address,
        // whose window procedure may be gone: register ours afresh.
        UnregisterClassW(name_, module);
        return RegisterClassExW(&wc) != 0;
    }

    std::mutex mutex_;
    int users_ = 0;
    wchar_t name_[64] = {};
};

WindowClass& windowClass() {
    static WindowClass instance;
    return instance;
}

class Win32Backend final : public WindowBackend {
public:
    Win32Backend() = default;
    Win32Backend(const Win32Backend&) = delete;
    Win32Backend& operator=(const Win32Backend&) = delete;
    ~Win32Backend() override { release(); }

    bool create(void* parent, int width, int height, WindowEvents* events) override;
    void setBounds(int left, int top, int width, int height) override;
    void show() override;
    void hide() override;
    void invalidate() override;
    void repaintNow() override;
    void startTimer(int milliseconds) override;
    void idle() override { repaintNow(); }
    TextRenderer& text() override { return platformTextRenderer(); }
    double systemScale(void* parent) override;

    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void release();
    void destroyed();  // the window is gone (our DestroyWindow, or the host's parent went)
    bool ensureBuffer(int width, int height);
    void freeBuffer();
    void blit(HDC target);
    void press(MouseButton button, WPARAM wParam, LPARAM lParam, bool doubleClick = false);
    LRESULT wheel(HWND hwnd, WPARAM wParam, LPARAM lParam);
    void liftButton(MouseButton button, LPARAM lParam);

    WindowEvents* events_ = nullptr;
    HWND hwnd_ = nullptr;
    bool classAcquired_ = false;
    // The back buffer: a top-down 32-bit DIB section, selected into its DC.
    HDC bufferDc_ = nullptr;
    HBITMAP buffer_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    int bufferWidth_ = 0, bufferHeight_ = 0;
    bool stale_ = true;  // the buffer does not hold the latest frame yet
    // Buttons held since their press, for capture.
    unsigned held_ = 0;
    int lastX_ = 0, lastY_ = 0;
    int wheelDelta_ = 0;  // wheel turn short of a whole notch, in WHEEL_DELTA units
    bool forwardingWheel_ = false;
    UINT reportedDpi_ = 0;  // from the last WM_DPICHANGED, 0 before one
};

// The DPI of a window, where the system can say (Windows 10 1607 and
// later), else of the screen; 96 is factor 1. A host that is not DPI-aware
// gets 96 here, and Windows enlarges the whole window itself.
UINT dpiOf(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (window && getDpiForWindow)
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    UINT dpi = 96;
    if (const HDC screen = GetDC(nullptr)) {
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
        ReleaseDC(nullptr, screen);
    }
    return dpi;
}

unsigned bitOf(MouseButton b) { return 1u << static_cast<unsigned>(b); }

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        if (message == WM_NCCREATE) {
            const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* backend = reinterpret_cast<Win32Backend*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (backend) return backend->handle(hwnd, message, wParam, lParam);
    } catch (...) {
        // Dropped: the message is answered as if nothing had happened.
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool Win32Backend::create(void* parent, int width, int height, WindowEvents* events) {
    release();
    events_ = events;
    const HWND parentWindow = static_cast<HWND>(parent);
    if (!parentWindow || !IsWindow(parentWindow) || width <= 0 || height <= 0) return false;

    const wchar_t* className = windowClass().acquire();
    if (!className) return false;
    classAcquired_ = true;

    hwnd_ = CreateWindowExW(0, className, L"Halvorine", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, width,
                            height, parentWindow, nullptr, thisModule(), this);
    if (!hwnd_) {
        release();
        return false;
    }
    stale_ = true;
    return true;
}

void Win32Backend::release() {
    // The editor window is going: nothing that DestroyWindow sends on its
    // way out (WM_CAPTURECHANGED while a slider holds the mouse) may reach it.
    events_ = nullptr;
    if (hwnd_) {
        // Ours until WM_NCDESTROY; the host may have destroyed it already,
        // and then hwnd_ was cleared on the way.
        KillTimer(hwnd_, kTimerId);
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
    freeBuffer();
    if (classAcquired_) {
        classAcquired_ = false;
        windowClass().release();
    }
    held_ = 0;
}

void Win32Backend::destroyed() {
    if (!hwnd_) return;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    held_ = 0;
}

double Win32Backend::systemScale(void* parent) {
    const UINT dpi = reportedDpi_ ? reportedDpi_ : dpiOf(static_cast<HWND>(parent));
    return dpi / 96.0;
}

void Win32Backend::setBounds(int left, int top, int width, int height) {
    if (!hwnd_ || width <= 0 || height <= 0) return;
    SetWindowPos(hwnd_, nullptr, left, top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void Win32Backend::show() {
    if (!hwnd_) return;
    ShowWindow(hwnd_, SW_SHOWNA);
    UpdateWindow(hwnd_);
}

void Win32Backend::hide() {
    if (!hwnd_) return;
    if (held_ && GetCapture() == hwnd_) ReleaseCapture();
    ShowWindow(hwnd_, SW_HIDE);
}

void Win32Backend::invalidate() {
    stale_ = true;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void Win32Backend::repaintNow() {
    if (hwnd_) UpdateWindow(hwnd_);  // paints only when something is invalid
}

void Win32Backend::startTimer(int milliseconds) {
    if (hwnd_) SetTimer(hwnd_, kTimerId, static_cast<UINT>(std::max(1, milliseconds)), nullptr);
}

bool Win32Backend::ensureBuffer(int width, int height) {
    if (buffer_ && width == bufferWidth_ && height == bufferHeight_) return true;
    freeBuffer();
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, like the canvas
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bufferDc_ = CreateCompatibleDC(nullptr);
    if (bufferDc_) buffer_ = CreateDIBSection(bufferDc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bufferDc_ || !buffer_ || !bits) {
        freeBuffer();
        return false;
    }
    previousBitmap_ = SelectObject(bufferDc_, buffer_);
    bits_ = static_cast<std::uint32_t*>(bits);
    bufferWidth_ = width;
    bufferHeight_ = height;
    stale_ = true;
    return true;
}

void Win32Backend::freeBuffer() {
    if (bufferDc_) {
        if (previousBitmap_) SelectObject(bufferDc_, previousBitmap_);
        DeleteDC(bufferDc_);
    }
    if (buffer_) DeleteObject(buffer_);
    bufferDc_ = nullptr;
    buffer_ = nullptr;
    previousBitmap_ = nullptr;
    bits_ = nullptr;
    bufferWidth_ = bufferHeight_ = 0;
}

// Puts the latest frame on `target`: the canvas goes into the DIB (a
// 32-bit BI_RGB pixel in memory is 0x00RRGGBB, the canvas's own layout),
// then one blit.
void Win32Backend::blit(HDC target) {
    if (!events_) return;
    const Canvas& frame = events_->frame();
    if (frame.empty() || !ensureBuffer(frame.width(), frame.height())) return;
    if (stale_) {
        for (int y = 0; y < frame.height(); ++y)
            std::memcpy(bits_ + static_cast<std::size_t>(y) * bufferWidth_, frame.row(y),
                        static_cast<std::size_t>(frame.width()) * sizeof(Pixel));
        GdiFlush();
        stale_ = false;
    }
    BitBlt(target, 0, 0, bufferWidth_, bufferHeight_, bufferDc_, 0, 0, SRCCOPY);
}

void Win32Backend::press(MouseButton button, WPARAM wParam, LPARAM lParam, bool doubleClick) {
    lastX_ = GET_X_LPARAM(lParam);
    lastY_ = GET_Y_LPARAM(lParam);
    // The capture brings the moves and the release here until the button
    // is let go, also from outside the window (coordinates then negative or
    // beyond the window: GET_X_LPARAM keeps the sign).
    if (!held_) SetCapture(hwnd_);
    held_ |= bitOf(button);
    if (events_)
        events_->mouseDown(lastX_, lastY_, button,
                           ShiftState{(wParam & MK_SHIFT) != 0, (wParam & MK_CONTROL) != 0, doubleClick});
}

// WM_MOUSEWHEEL goes to the window with the keyboard focus (or, where the
// system scrolls the window under the pointer, to that one), with the
// pointer in screen coordinates. Over one of our sliders the wheel is ours;
// over another window of this thread it goes to that window; otherwise on
// to our parent, as DefWindowProc passes it. Fine wheels send fractions of
// WHEEL_DELTA: they add up to whole notches, and a turn the other way
// starts afresh.
LRESULT Win32Backend::wheel(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const POINT onScreen = p;
    ScreenToClient(hwnd, &p);
    RECT client{};
    GetClientRect(hwnd, &client);
    const bool shift = (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT) != 0;
    if (PtInRect(&client, p)) {
        if (events_ && events_->mouseWheel(p.x, p.y, 0, shift)) {
            const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
            if ((delta > 0 && wheelDelta_ < 0) || (delta < 0 && wheelDelta_ > 0)) wheelDelta_ = 0;
            wheelDelta_ += delta;
            const int notches = wheelDelta_ / WHEEL_DELTA;
            wheelDelta_ -= notches * WHEEL_DELTA;
            if (notches != 0 && events_) events_->mouseWheel(p.x, p.y, notches, shift);
            return 0;
        }
    } else if (!forwardingWheel_) {
        const HWND under = WindowFromPoint(onScreen);
        if (under && under != hwnd &&
            GetWindowThreadProcessId(under, nullptr) == GetCurrentThreadId()) {
            forwardingWheel_ = true;  // should it come back to us, it goes to the parent
            SendMessageW(under, WM_MOUSEWHEEL, wParam, lParam);
            forwardingWheel_ = false;
            return 0;
        }
    }
    wheelDelta_ = 0;
    return DefWindowProcW(hwnd, WM_MOUSEWHEEL, wParam, lParam);
}

void Win32Backend::liftButton(MouseButton button, LPARAM lParam) {
    lastX_ = GET_X_LPARAM(lParam);
    lastY_ = GET_Y_LPARAM(lParam);
    const bool wasHeld = (held_ & bitOf(button)) != 0;
    held_ &= ~bitOf(button);
    if (!held_ && wasHeld && GetCapture() == hwnd_) ReleaseCapture();
    if (events_) events_->mouseUp(lastX_, lastY_, button);
}

LRESULT Win32Backend::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // every pixel is ours: no flicker through a background fill
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (HDC dc = BeginPaint(hwnd, &ps)) {
                blit(dc);
                EndPaint(hwnd, &ps);
            }
            return 0;
        }
        case WM_PRINTCLIENT:
            blit(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kTimerId && events_) events_->timerTick();
            return 0;
        case WM_LBUTTONDOWN: press(MouseButton::Left, wParam, lParam); return 0;
        case WM_RBUTTONDOWN: press(MouseButton::Right, wParam, lParam); return 0;
        case WM_MBUTTONDOWN: press(MouseButton::Middle, wParam, lParam); return 0;
        case WM_LBUTTONDBLCLK: press(MouseButton::Left, wParam, lParam, true); return 0;
        case WM_RBUTTONDBLCLK: press(MouseButton::Right, wParam, lParam, true); return 0;
        case WM_MBUTTONDBLCLK: press(MouseButton::Middle, wParam, lParam, true); return 0;
        case WM_MOUSEWHEEL: return wheel(hwnd, wParam, lParam);
        case WM_LBUTTONUP: liftButton(MouseButton::Left, lParam); return 0;
        case WM_RBUTTONUP: liftButton(MouseButton::Right, lParam); return 0;
        case WM_MBUTTONUP: liftButton(MouseButton::Middle, lParam); return 0;
        case WM_MOUSEMOVE:
            lastX_ = GET_X_LPARAM(lParam);
            lastY_ = GET_Y_LPARAM(lParam);
            // The left button went up where its release did not reach us:
            // the drag ends before this move is a mere hover.
            if ((held_ & bitOf(MouseButton::Left)) && !(wParam & MK_LBUTTON))
                liftButton(MouseButton::Left, lParam);
            if (events_) events_->mouseMove(lastX_, lastY_);
            return 0;
        case WM_CAPTURECHANGED:
            // Someone else took the mouse while a button was held (a menu,
            // a task switch): the release will never come, so end the drag
            // here as if the buttons had been let go where the pointer was.
            if (reinterpret_cast<HWND>(lParam) != hwnd && held_) {
                const unsigned held = held_;
                held_ = 0;
                for (MouseButton b : {MouseButton::Left, MouseButton::Right, MouseButton::Middle})
                    if ((held & bitOf(b)) && events_) events_->mouseUp(lastX_, lastY_, b);
            }
            return 0;
        case WM_DPICHANGED:  // a top-level's message; some hosts pass it on to their children
            reportedDpi_ = LOWORD(wParam);
            if (events_) events_->systemScaleChanged();
            return 0;
        case WM_DPICHANGED_AFTERPARENT:  // the host's window moved to a screen of another DPI
            reportedDpi_ = dpiOf(hwnd);
            if (events_) events_->systemScaleChanged();
            return 0;
        case WM_NCDESTROY:
            // Also when the host destroys its window before effEditClose:
            // from now on there is nothing to draw in or destroy.
            destroyed();
            return DefWindowProcW(hwnd, message, wParam, lParam);
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

std::unique_ptr<WindowBackend> createWindowBackend() { return std::make_unique<Win32Backend>(); }
bool windowSystemPresent() { return true; }

}  // namespace halvorine::editor
