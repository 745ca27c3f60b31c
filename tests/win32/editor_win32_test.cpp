// The editor of halvorine.dll in real Win32 windows (under Wine and Xvfb in
// the cross build): a host window, the dispatcher's editor requests with its
// HWND, mouse input through the message queue and through SendInput, the
// parameter values and automation requests that follow, and the window's
// pixels, which must be those the headless editor composes for the same
// state (the effect is linked into this program for that).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "APluginEditor.h"
#include "DAudioEffect.h"
#include "backend_headless.h"
#include "canvas.h"
#include "support/plugin_host.h"

using namespace halvorine::test;
using halvorine::editor::Canvas;
using halvorine::editor::HeadlessBackend;
using halvorine::editor::MouseButton;

namespace {

constexpr int kWidth = 380, kHeight = 144;

// Slider places in the window, by parameter index; a slider is 100 x 13.
struct Place {
    int left, top;
};
constexpr Place kSlider[9] = {{25, 20},  {140, 20}, {260, 20}, {25, 50}, {140, 50},
                              {260, 50}, {140, 80}, {25, 80},  {260, 80}};

// Handles messages (timers, paints, input) for a while.
void pump(int milliseconds) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const auto left = static_cast<LONG>(end - GetTickCount());
        if (left <= 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
}

// A host application's top-level window, its client area a little larger
// than the editor.
class HostWindow {
public:
    explicit HostWindow(int x = 40, int y = 40, int scale = 1) {
        static const ATOM atom = [] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
            wc.lpszClassName = L"HalvorineTestHost";
            return RegisterClassExW(&wc);
        }();
        RECT r{0, 0, kWidth * scale + 20, kHeight * scale + 20};
        AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
        hwnd = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), L"Host",
                               WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y, r.right - r.left,
                               r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr),
                               nullptr);
        ShowWindow(hwnd, SW_SHOWNORMAL);
        UpdateWindow(hwnd);
        pump(20);
    }
    ~HostWindow() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND editor() const { return FindWindowExW(hwnd, nullptr, nullptr, nullptr); }
    HWND hwnd = nullptr;
};

std::wstring classOf(HWND w) {
    wchar_t name[256] = {};
    GetClassNameW(w, name, 256);
    return name;
}

// The window's pixels: what it painted on the screen (BitBlt from its DC),
// or what it draws for PrintWindow (WM_PRINTCLIENT).
Canvas capture(HWND w, bool print) {
    RECT client{};
    GetClientRect(w, &client);
    const int width = client.right, height = client.bottom;  // the window's size, at its scale
    Canvas out(width, height, 0);
    const HDC windowDc = GetDC(w);
    const HDC dc = CreateCompatibleDC(windowDc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(dc, dib);
    PatBlt(dc, 0, 0, width, height, WHITENESS);
    bool ok = print ? PrintWindow(w, dc, PW_CLIENTONLY) != FALSE
                    : BitBlt(dc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != FALSE;
    GdiFlush();
    EXPECT_TRUE(ok) << (print ? "PrintWindow" : "BitBlt") << " failed";
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.set(x, y, pixels[static_cast<std::size_t>(y) * width + x] & 0x00FFFFFFu);
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
    ReleaseDC(w, windowDc);
    return out;
}

// How many pixels differ, and where the first one is.
::testing::AssertionResult samePicture(const Canvas& shown, const Canvas& expected) {
    if (shown.width() != expected.width() || shown.height() != expected.height())
        return ::testing::AssertionFailure() << "sizes differ";
    int differing = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.at(x, y) != expected.at(x, y) && differing++ == 0) {
                firstX = x;
                firstY = y;
            }
    if (differing == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << differing << " pixels differ, the first at " << firstX << "," << firstY << ": shown "
           << std::hex << shown.at(firstX, firstY) << ", composed " << expected.at(firstX, firstY);
}

LPARAM at(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(x)), static_cast<WORD>(static_cast<SHORT>(y)));
}

// The same effect linked into this program with the headless backend: it is
// played the same events, and composes the picture the window must show.
class ReferenceEditor {
public:
    ReferenceEditor() {
        effect_ = createEffectInstance(&callback)->getAeffect();
        effect_->dispatcher(effect_, effEditOpen, 0, 0, &parent_, 0.0f);
        backend_ = HeadlessBackend::live().back();
    }
    ~ReferenceEditor() { effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f); }
    ReferenceEditor(const ReferenceEditor&) = delete;
    ReferenceEditor& operator=(const ReferenceEditor&) = delete;

    HeadlessBackend& user() { return *backend_; }
    void setParameter(int index, float value) { effect_->setParameter(effect_, index, value); }
    float parameter(int index) { return effect_->getParameter(effect_, index); }
    const Canvas& picture() {
        backend_->tick();
        effect_->dispatcher(effect_, effEditIdle, 0, 0, nullptr, 0.0f);
        return backend_->screen();
    }

private:
    static VstIntPtr VSTCALLBACK callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
        return opcode == audioMasterVersion ? 2400 : 0;
    }
    AEffect* effect_ = nullptr;
    HeadlessBackend* backend_ = nullptr;
    int parent_ = 0;
};

// The real pointer to x, y of window `w`, with a button going down or up
// (flags), through SendInput; then the messages are handled. Absolute moves
// are not accelerated: pixel x is at x * 65536 / width, rounded down.
void sendMouse(HWND w, DWORD flags, int x, int y) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    POINT p{x, y};
    ClientToScreen(w, &p);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((p.x * 65536 + screenWidth - 1) / screenWidth);
    input.mi.dy = static_cast<LONG>((p.y * 65536 + screenHeight - 1) / screenHeight);
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ASSERT_EQ(SendInput(1, &input, sizeof input), 1u);
    pump(60);
}

// Sets HALVORINE_SCALE, or removes it, for the DLL too (both use the
// system's C runtime).
void forceScale(const char* value) { _putenv_s("HALVORINE_SCALE", value ? value : ""); }

class Win32Editor : public ::testing::Test {
protected:
    void SetUp() override { e = host.loadOrFail(); }

    void open(HWND parent) {
        ASSERT_EQ(host.dispatch(e, effEditOpen, 0, 0, parent), 1);
        pump(50);
    }
    void close() {
        host.dispatch(e, effEditClose);
        pump(20);
    }
    std::vector<HostRequest> automation() {
        std::vector<HostRequest> out;
        for (const auto& r : host.requests())
            if (r.opcode == audioMasterAutomate) out.push_back(r);
        return out;
    }
    // Posts a mouse message at X pixels from a slider's left edge (X may
    // lie outside the slider and the window), and handles it.
    void post(HWND w, UINT message, WPARAM keys, int index, int x) {
        PostMessageW(w, message, keys, at(kSlider[index].left + x, kSlider[index].top + 6));
        pump(30);
    }

    TestHost host;
    AEffect* e = nullptr;
};

}  // namespace

TEST_F(Win32Editor, OpensABorderlessChildOfTheDllInTheHostsWindowAndRemovesItOnClose) {
    HostWindow parent;
    open(parent.hwnd);
    const HWND w = parent.editor();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetParent(w), parent.hwnd);

    const std::wstring name = classOf(w);
    EXPECT_EQ(name.rfind(L"HalvorineEditor.", 0), 0u) << "class " << std::string(name.begin(), name.end());
    const HMODULE dll = GetModuleHandleW(L"halvorine.dll");
    ASSERT_NE(dll, nullptr);
    EXPECT_EQ(reinterpret_cast<HMODULE>(GetClassLongPtrW(w, GCLP_HMODULE)), dll);

    const LONG style = GetWindowLongW(w, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_FALSE(style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME));
    EXPECT_EQ(GetWindowLongW(w, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE), 0);
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, parent.hwnd, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, kWidth);
    EXPECT_EQ(r.bottom, kHeight);

    ERect* rect = nullptr;
    host.dispatch(e, effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, kWidth);
    EXPECT_EQ(rect->bottom, kHeight);

    close();
    EXPECT_EQ(parent.editor(), nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    EXPECT_FALSE(GetClassInfoExW(dll, name.c_str(), &wc)) << "the class outlives its last window";
}

TEST_F(Win32Editor, ShowsWhatTheHeadlessEditorComposes) {
    HostWindow parent;
    ReferenceEditor reference;
    open(parent.hwnd);
    const HWND w = parent.editor();
    ASSERT_NE(w, nullptr);
    const Canvas& expected = reference.picture();
    EXPECT_TRUE(samePicture(capture(w, false), expected)) << "on the screen";
    EXPECT_TRUE(samePicture(capture(w, true), expected)) << "through WM_PRINTCLIENT";

    // The readout's caption is there, in dark text on the strip (at 25,110).
    int dark = 0;
    const Canvas shown = capture(w, false);
    for (int y = 113; y < 128; ++y)
        for (int x = 33; x < 200; ++x)
            if (halvorine::editor::redOf(shown.at(x, y)) < 96) ++dark;
    EXPECT_GT(dark, 40);
    close();
}

TEST_F(Win32Editor, PostedMouseInputSetsValuesAndAsksTheHostToAutomate) {
    HostWindow parent;
    ReferenceEditor reference;
    open(parent.hwnd);
    const HWND w = parent.editor();
    ASSERT_NE(w, nullptr);
    auto& user = reference.user();

    // Absolute mode: the press sets the value, and the capture holds the
    // drag while the pointer is far outside the window, both ways.
    host.clearRequests();
    post(w, WM_LBUTTONDOWN, MK_LBUTTON, 0, 50);
    user.press(kSlider[0].left + 50, kSlider[0].top + 6);
    EXPECT_EQ(e->getParameter(e, 0), 0.5f);
    EXPECT_EQ(GetCapture(), w);
    post(w, WM_MOUSEMOVE, MK_LBUTTON, 0, -200);
    user.move(kSlider[0].left - 200, kSlider[0].top + 6);
    EXPECT_EQ(e->getParameter(e, 0), 0.0f);
    post(w, WM_MOUSEMOVE, MK_LBUTTON, 0, 700);
    user.move(kSlider[0].left + 700, kSlider[0].top + 6);
    EXPECT_EQ(e->getParameter(e, 0), 1.0f);
    post(w, WM_MOUSEMOVE, MK_LBUTTON, 0, 30);
    user.move(kSlider[0].left + 30, kSlider[0].top + 6);
    post(w, WM_LBUTTONUP, 0, 0, 30);
    user.release(kSlider[0].left + 30, kSlider[0].top + 6);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(e->getParameter(e, 0), 0.25f);
    const auto requests = automation();
    ASSERT_EQ(requests.size(), 4u);  // the press and three moves
    const float sent[] = {0.5f, 0.0f, 1.0f, 0.25f};
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].index, 0);
        EXPECT_EQ(requests[i].opt, sent[i]);
    }

    // Fine mode: Shift + press changes nothing; a move to X = 60 adds 0.05.
    const float before = e->getParameter(e, 2);
    host.clearRequests();
    post(w, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, 2, 40);
    user.press(kSlider[2].left + 40, kSlider[2].top + 6, MouseButton::Left, true);
    EXPECT_EQ(e->getParameter(e, 2), before);
    EXPECT_TRUE(automation().empty());
    post(w, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, 2, 60);
    user.move(kSlider[2].left + 60, kSlider[2].top + 6);
    EXPECT_FLOAT_EQ(e->getParameter(e, 2), before + 0.05f);
    post(w, WM_LBUTTONUP, MK_SHIFT, 2, 60);
    user.release(kSlider[2].left + 60, kSlider[2].top + 6);

    // The right button changes nothing.
    const float mix = e->getParameter(e, 7);
    post(w, WM_RBUTTONDOWN, MK_RBUTTON, 7, 90);
    post(w, WM_RBUTTONUP, 0, 7, 90);
    user.press(kSlider[7].left + 90, kSlider[7].top + 6, MouseButton::Right);
    user.release(kSlider[7].left + 90, kSlider[7].top + 6, MouseButton::Right);
    EXPECT_EQ(e->getParameter(e, 7), mix);
    EXPECT_EQ(GetCapture(), nullptr);

    // Hovering over a slider shows its readout.
    post(w, WM_MOUSEMOVE, 0, 8, 20);
    user.move(kSlider[8].left + 20, kSlider[8].top + 6);

    for (int i = 0; i < 9; ++i) EXPECT_EQ(reference.parameter(i), e->getParameter(e, i)) << i;
    pump(60);
    EXPECT_TRUE(samePicture(capture(w, false), reference.picture()));
    close();
}

// The wheel (WM_MOUSEWHEEL, in screen coordinates, in WHEEL_DELTA units
// that fine wheels send in parts), Ctrl-click and double-click, posted and
// as real input: the values, one gesture per burst and per reset, and the
// pixels the headless editor composes for the same events.
TEST_F(Win32Editor, TheWheelAndResetsReachTheHostAsGestures) {
    HostWindow parent;
    ReferenceEditor reference;
    open(parent.hwnd);
    const HWND w = parent.editor();
    ASSERT_NE(w, nullptr);
    auto& user = reference.user();
    const auto edits = [&] {
        std::vector<std::pair<VstInt32, float>> out;  // opcode, index (automate: its value)
        for (const auto& r : host.requests())
            if (r.opcode == audioMasterBeginEdit || r.opcode == audioMasterEndEdit)
                out.emplace_back(r.opcode, static_cast<float>(r.index));
            else if (r.opcode == audioMasterAutomate)
                out.emplace_back(r.opcode, r.opt);
        return out;
    };
    using G = std::vector<std::pair<VstInt32, float>>;
    constexpr VstInt32 kBegin = audioMasterBeginEdit, kEnd = audioMasterEndEdit, kSet = audioMasterAutomate;
    const auto wheel = [&](int index, int x, int delta, WPARAM keys = 0) {
        POINT p{kSlider[index].left + x, kSlider[index].top + 6};
        ClientToScreen(w, &p);
        PostMessageW(w, WM_MOUSEWHEEL, MAKEWPARAM(keys, static_cast<WORD>(static_cast<SHORT>(delta))),
                     at(p.x, p.y));
        pump(30);
    };
    const auto quiet = [&] { pump(400); };  // the burst's gesture ends on the editor's timer
    for (auto [index, value] : {std::pair{8, 0.75f}, {6, 0.5f}, {7, 0.0f}}) {
        e->setParameter(e, index, value);
        reference.setParameter(index, value);
    }
    reference.picture();
    pump(60);

    host.clearRequests();
    wheel(8, 50, WHEEL_DELTA);
    for (int part = 0; part < 3; ++part) wheel(8, 50, WHEEL_DELTA / 3);
    wheel(8, 50, -WHEEL_DELTA, MK_SHIFT);
    user.wheel(kSlider[8].left + 50, kSlider[8].top + 6, 2);
    user.wheel(kSlider[8].left + 50, kSlider[8].top + 6, -1, true);
    quiet();
    wheel(6, 50, -2 * WHEEL_DELTA);  // two notches at once: two bands
    user.wheel(kSlider[6].left + 50, kSlider[6].top + 6, -2);
    quiet();
    wheel(8, -20, WHEEL_DELTA);  // beside the sliders: not ours
    quiet();
    EXPECT_EQ(edits(), (G{{kBegin, 8}, {kSet, 0.76f}, {kSet, 0.77f}, {kSet, 0.769f}, {kEnd, 8},
                          {kBegin, 6}, {kSet, 29.5f / 63.0f}, {kEnd, 6}}));

    host.clearRequests();
    post(w, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 8, 20);
    post(w, WM_LBUTTONUP, MK_CONTROL, 8, 20);
    user.press(kSlider[8].left + 20, kSlider[8].top + 6, MouseButton::Left, {false, true, false});
    user.release(kSlider[8].left + 20, kSlider[8].top + 6);
    post(w, WM_LBUTTONDOWN, MK_LBUTTON, 6, 80);
    post(w, WM_LBUTTONUP, 0, 6, 80);
    post(w, WM_LBUTTONDBLCLK, MK_LBUTTON, 6, 80);
    post(w, WM_LBUTTONUP, 0, 6, 80);
    user.press(kSlider[6].left + 80, kSlider[6].top + 6, MouseButton::Left, {false, false, true});
    user.release(kSlider[6].left + 80, kSlider[6].top + 6);
    EXPECT_EQ(edits(), (G{{kBegin, 8}, {kSet, 0.75f}, {kEnd, 8}, {kBegin, 6}, {kSet, 0.875f}, {kEnd, 6},
                          {kBegin, 6}, {kSet, 0.5f}, {kEnd, 6}}));
    EXPECT_EQ(GetCapture(), nullptr);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(reference.parameter(i), e->getParameter(e, i)) << i;
    pump(60);
    EXPECT_TRUE(samePicture(capture(w, false), reference.picture()));

    // Real input: a double-click on Mix, then a notch of the wheel.
    SetForegroundWindow(parent.hwnd);
    pump(50);
    host.clearRequests();
    const int y = kSlider[7].top + 6;
    sendMouse(w, MOUSEEVENTF_LEFTDOWN, kSlider[7].left + 30, y);
    sendMouse(w, MOUSEEVENTF_LEFTUP, kSlider[7].left + 30, y);
    sendMouse(w, MOUSEEVENTF_LEFTDOWN, kSlider[7].left + 30, y);
    sendMouse(w, MOUSEEVENTF_LEFTUP, kSlider[7].left + 30, y);
    EXPECT_EQ(e->getParameter(e, 7), 0.5f);
    INPUT notch{};
    notch.type = INPUT_MOUSE;
    notch.mi.dwFlags = MOUSEEVENTF_WHEEL;
    notch.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA);
    ASSERT_EQ(SendInput(1, &notch, sizeof notch), 1u);
    quiet();
    // (Wine may add a move of its own to the drag: the same value again.)
    G real = edits();
    real.erase(std::unique(real.begin(), real.end()), real.end());
    EXPECT_EQ(real, (G{{kBegin, 7}, {kSet, 0.25f}, {kEnd, 7}, {kBegin, 7}, {kSet, 0.5f}, {kEnd, 7},
                          {kBegin, 7}, {kSet, 0.49f}, {kEnd, 7}}));
    close();
}

TEST_F(Win32Editor, LosingTheCaptureEndsTheDrag) {
    HostWindow parent;
    open(parent.hwnd);
    const HWND w = parent.editor();
    ASSERT_NE(w, nullptr);
    post(w, WM_LBUTTONDOWN, MK_LBUTTON, 5, 30);
    ASSERT_EQ(GetCapture(), w);
    SetCapture(parent.hwnd);  // a menu, say, takes the mouse: no release will come
    pump(20);
    ReleaseCapture();
    host.clearRequests();
    post(w, WM_MOUSEMOVE, MK_LBUTTON, 5, 70);  // no longer dragging
    EXPECT_EQ(e->getParameter(e, 5), 0.25f);
    post(w, WM_LBUTTONDOWN, MK_LBUTTON, 1, 90);  // a new press is not ignored
    post(w, WM_LBUTTONUP, 0, 1, 90);
    EXPECT_EQ(e->getParameter(e, 1), 1.0f);
    ASSERT_EQ(automation().size(), 1u);
    EXPECT_EQ(automation().front().index, 1);

    // The release went elsewhere while the capture stayed: the first move
    // without the button ends the drag and its gesture. (Wine may send a
    // move of its own, from the real pointer, as soon as the capture
    // starts: so the requests are counted from the press on.)
    host.clearRequests();
    post(w, WM_LBUTTONDOWN, MK_LBUTTON, 4, 30);
    post(w, WM_MOUSEMOVE, 0, 4, 70);
    post(w, WM_MOUSEMOVE, 0, 4, 80);
    EXPECT_EQ(e->getParameter(e, 4), 0.25f);
    ASSERT_EQ(automation().size(), 1u) << "the press alone";
    EXPECT_EQ(automation().front().index, 4);
    EXPECT_NE(GetCapture(), w);
    int ends = 0;
    for (const auto& r : host.requests()) ends += r.opcode == audioMasterEndEdit && r.index == 4;
    EXPECT_EQ(ends, 1);
    close();
}

TEST_F(Win32Editor, RealPointerInputIsCapturedOutsideTheWindow) {
    HostWindow parent;
    open(parent.hwnd);
    const HWND w = parent.editor();
    ASSERT_NE(w, nullptr);
    SetForegroundWindow(parent.hwnd);
    pump(50);

    const auto mouse = [&](DWORD flags, int x, int y) { sendMouse(w, flags, x, y); };

    host.clearRequests();
    const int y = kSlider[3].top + 6;
    mouse(0, kSlider[3].left + 50, y);
    mouse(MOUSEEVENTF_LEFTDOWN, kSlider[3].left + 90, y);  // X = 90: the value 1
    EXPECT_EQ(e->getParameter(e, 3), 1.0f);
    EXPECT_EQ(GetCapture(), w);
    mouse(0, -30, y + 100);  // left of the window and below the host's
    EXPECT_EQ(e->getParameter(e, 3), 0.0f);
    mouse(MOUSEEVENTF_LEFTUP, -30, y + 100);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(e->getParameter(e, 3), 0.0f);
    const auto requests = automation();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests.front().index, 3);
    EXPECT_EQ(requests.front().opt, 1.0f);
    EXPECT_EQ(requests.back().opt, 0.0f);

    // After the release the window no longer follows the pointer.
    host.clearRequests();
    mouse(0, kSlider[3].left + 60, y);
    EXPECT_TRUE(automation().empty());
    close();
}

// The editor at 1x, 2x and 3x, from the host's scale call, HALVORINE_SCALE
// and a change of DPI: its size, every pixel outside the readout an exact
// enlargement of the 1x picture, GDI text at the scaled size, and a drag
// with the real pointer landing where the pointer is. Whenever the window
// comes out at another size than the host last read (a new DPI, or, as on
// a parent whose screen's DPI is not the system's, a scale that changed
// between the host reading the size and opening), the host is asked to
// resize.
TEST_F(Win32Editor, DrawsAtTheScaleOfEachSource) {
    const struct {
        const char* source;
        int scale;
        float hostFactor;  // the scale call's, 0 for none
        const char* forced;
        UINT dpi;  // a WM_DPICHANGED after opening, 0 for none
        bool readAtOne;  // the host read the size at 1x before the factor came
    } cases[] = {
        {"nothing", 1, 0.0f, nullptr, 0, false},
        {"the host", 2, 2.0f, nullptr, 0, false},
        {"HALVORINE_SCALE", 3, 2.0f, "3", 0, false},
        {"a new DPI", 2, 0.0f, nullptr, 192, false},
        {"the host, after the size was read", 2, 2.0f, nullptr, 0, true},
        {"HALVORINE_SCALE, after the size was read", 3, 0.0f, "3", 0, true},
    };
    const Place start = kSlider[0];
    Canvas one;
    const auto setScale = [&](float hostFactor, const char* forced) {
        host.dispatch(e, effVendorSpecific, APluginEditor::kScaleCallIndex,
                      APluginEditor::kScaleCallValue, nullptr, hostFactor);
        forceScale(forced);
    };
    const auto askedToResize = [&](int s) {
        for (const auto& r : host.requests())
            if (r.opcode == audioMasterSizeWindow && r.index == kWidth * s && r.value == kHeight * s) return true;
        return false;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const int s = c.scale;
        if (c.readAtOne) {
            setScale(0.0f, nullptr);
            ERect* read = nullptr;
            host.dispatch(e, effEditGetRect, 0, 0, &read);
            ASSERT_EQ(read->right, kWidth);
        }
        setScale(c.hostFactor, c.forced);
        HostWindow parent(40, 40, s);
        host.clearRequests();
        open(parent.hwnd);
        const HWND w = parent.editor();
        ASSERT_NE(w, nullptr);
        if (c.readAtOne) {
            EXPECT_TRUE(askedToResize(s)) << "the host was not asked to resize";
        }
        if (c.dpi) {
            host.clearRequests();
            SendMessageW(w, WM_DPICHANGED, MAKEWPARAM(c.dpi, c.dpi), 0);
            pump(50);
            EXPECT_TRUE(askedToResize(s)) << "the host was not asked to resize";
        }
        ERect* rect = nullptr;
        host.dispatch(e, effEditGetRect, 0, 0, &rect);
        EXPECT_EQ(rect->right, kWidth * s);
        EXPECT_EQ(rect->bottom, kHeight * s);
        const Canvas shown = capture(w, false);
        ASSERT_EQ(shown.width(), kWidth * s);
        ASSERT_EQ(shown.height(), kHeight * s);
        if (s == 1) one = shown;
        int unlike = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const int ux = x / s, uy = y / s;
                if (ux >= 25 && ux < 225 && uy >= 110 && uy < 133) {  // the readout
                    unlike += shown.at(x, y) != one.at(ux, uy);
                } else {
                    ASSERT_EQ(shown.at(x, y), one.at(ux, uy)) << x << "," << y;
                }
            }
        if (s > 1) {
            EXPECT_GT(unlike, 20 * s) << "the readout's text is the 1x text enlarged";
        }

        SetForegroundWindow(parent.hwnd);
        const auto mouse = [&](DWORD flags, int x, int y) { sendMouse(w, flags, x, y); };
        mouse(MOUSEEVENTF_LEFTDOWN, (start.left + 50) * s + s - 1, (start.top + 6) * s);
        EXPECT_EQ(e->getParameter(e, 0), 0.5f);
        mouse(0, (start.left + 70) * s, (start.top + 12) * s + s - 1);
        EXPECT_EQ(e->getParameter(e, 0), 0.75f);
        mouse(MOUSEEVENTF_LEFTUP, (start.left + 70) * s, (start.top + 12) * s);
        mouse(0, -30, -30);
        e->setParameter(e, 0, 0.0f);
        close();
    }
    forceScale(nullptr);
}

TEST_F(Win32Editor, HostChangesReachTheScreenOnTheTimer) {
    HostWindow parent;
    ReferenceEditor reference;
    open(parent.hwnd);
    const HWND w = parent.editor();
    ASSERT_NE(w, nullptr);
    for (auto [index, value] : {std::pair{4, 0.25f}, {8, 1.0f}, {6, 0.0f}}) {
        e->setParameter(e, index, value);
        reference.setParameter(index, value);
    }
    pump(120);  // a few 25 ms periods; the host's loop delivers WM_TIMER
    EXPECT_TRUE(samePicture(capture(w, false), reference.picture()));
    close();
}

TEST_F(Win32Editor, SurvivesTheHostDestroyingItsWindowFirst) {
    {
        HostWindow parent;
        open(parent.hwnd);
        ASSERT_NE(parent.editor(), nullptr);
    }  // the host's window, and the editor's with it, are gone
    pump(20);
    e->setParameter(e, 0, 0.75f);  // reaches the binding of a window that is gone
    host.dispatch(e, effEditIdle);
    close();

    HostWindow again;
    open(again.hwnd);
    EXPECT_NE(again.editor(), nullptr);
    close();
}

// The window goes while a slider holds the mouse: by effClose without
// effEditClose, or with the host's window. Nothing may reach the editor
// window on its way out, and the host hears the end of the drag once.
TEST_F(Win32Editor, GoingMidDragEndsTheGestureOnce) {
    for (bool hostWindowFirst : {false, true}) {
        SCOPED_TRACE(hostWindowFirst ? "host window first" : "effClose alone");
        TestHost other;
        AEffect* effect = other.loadOrFail();
        auto parent = std::make_unique<HostWindow>();
        ASSERT_EQ(other.dispatch(effect, effEditOpen, 0, 0, parent->hwnd), 1);
        pump(50);
        const HWND w = parent->editor();
        ASSERT_NE(w, nullptr);
        PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, at(kSlider[5].left + 30, kSlider[5].top + 6));
        pump(30);
        ASSERT_EQ(GetCapture(), w);
        if (hostWindowFirst) {
            parent.reset();
            pump(20);
        }
        other.close(effect);
        parent.reset();
        int begins = 0, ends = 0;
        for (const auto& r : other.requests()) {
            begins += r.opcode == audioMasterBeginEdit;
            ends += r.opcode == audioMasterEndEdit && r.index == 5;
        }
        EXPECT_EQ(begins, 1);
        EXPECT_EQ(ends, 1);
    }
}

TEST_F(Win32Editor, RepeatedOpeningAndTwoInstancesAtOnce) {
    HostWindow parent, other(500, 40);
    const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 100; ++i) {
        host.dispatch(e, effEditOpen, 0, 0, parent.hwnd);
        pump(1);
        host.dispatch(e, effEditClose);
    }
    pump(20);
    EXPECT_EQ(parent.editor(), nullptr);
    // No GDI objects left behind (Windows counts them; Wine answers 0).
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiBefore + 2);

    AEffect* second = host.loadOrFail();
    open(parent.hwnd);
    host.dispatch(second, effEditOpen, 0, 0, other.hwnd);
    pump(50);
    ASSERT_NE(parent.editor(), nullptr);
    ASSERT_NE(other.editor(), nullptr);
    const float before = second->getParameter(second, 1);
    post(parent.editor(), WM_LBUTTONDOWN, MK_LBUTTON, 1, 10);
    post(parent.editor(), WM_LBUTTONUP, 0, 1, 10);
    EXPECT_EQ(e->getParameter(e, 1), 0.0f);
    EXPECT_EQ(second->getParameter(second, 1), before);
    host.dispatch(second, effEditClose);
    close();
    EXPECT_EQ(other.editor(), nullptr);
}

TEST(Win32Library, UnloadsAndLoadsAgainWithAnEditorEachTime) {
    // A copy of the DLL under another name, so that this test's loads are
    // the only ones and FreeLibrary really unloads it.
    wchar_t original[MAX_PATH], folder[MAX_PATH], copy[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, original, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    std::wstring path(original, length);
    path.replace(path.find_last_of(L"\\/") + 1, std::wstring::npos, L"halvorine.dll");
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameW(folder, L"hlv", 0, copy), 0u);
    ASSERT_TRUE(CopyFileW(path.c_str(), copy, FALSE));

    for (int round = 0; round < 3; ++round) {
        const HMODULE module = LoadLibraryW(copy);
        ASSERT_NE(module, nullptr) << "round " << round;
        auto entry = reinterpret_cast<PluginEntryProc>(reinterpret_cast<void*>(GetProcAddress(module, "main")));
        ASSERT_NE(entry, nullptr);
        {
            TestHost host;
            HostWindow parent;
            AEffect* e = host.loadOrFail(entry);
            ASSERT_NE(e, nullptr);
            host.dispatch(e, effEditOpen, 0, 0, parent.hwnd);
            pump(40);
            EXPECT_NE(parent.editor(), nullptr) << "round " << round;
            host.dispatch(e, effEditClose);
            host.close(e);
        }
        pump(10);
        EXPECT_TRUE(FreeLibrary(module));
        EXPECT_EQ(GetModuleHandleW(copy), nullptr) << "still loaded after round " << round;
    }
    DeleteFileW(copy);
}
