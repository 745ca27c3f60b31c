// The X11 window backend.
//
// Every editor has a display connection of its own, and every request and
// every event goes through XCB on that connection. That keeps X errors ours:
// with XCB an error either answers a checked request or arrives in our own
// event queue, where it is dropped; it never reaches Xlib's process-wide
// error handler (whose default ends the host), and Xlib's process-wide
// I/O-error handler is never involved either. Nothing here calls
// XInitThreads or keeps state outside the backend object, so two editors can
// be open at once, and the library can be unloaded and loaded again.
//
// No threads: the host's idle call (effEditIdle, on its user-interface
// thread) reads the pending events and fires the timer.
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "backend.h"

namespace halvorine::editor {
namespace {

using Clock = std::chrono::steady_clock;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

// How a 0x00RRGGBB pixel becomes a pixel value of the window's visual, and
// how those values are laid out in a ZPixmap image.
struct PixelFormat {
    bool supported = false;
    int depth = 0;
    int bitsPerPixel = 0;
    int scanlinePad = 32;
    bool msbFirst = false;
    std::uint32_t alphaMask = 0;  // bits of the depth outside red, green and blue: written as 1
    struct Channel {
        int shift = 0;
        std::uint32_t max = 0;  // the channel's mask, shifted down
    } red, green, blue;

    static Channel channel(std::uint32_t mask) {
        Channel c;
        if (mask == 0) return c;
        while (!(mask & 1u)) {
            mask >>= 1;
            ++c.shift;
        }
        c.max = mask;
        return c;
    }
    static std::uint32_t scale(unsigned v, const Channel& c) {
        if (c.max == 255u) return v << c.shift;  // 8-bit channels, the usual case
        return ((v * c.max + 127u) / 255u) << c.shift;
    }
    std::uint32_t convert(Pixel p) const {
        return scale(redOf(p), red) | scale(greenOf(p), green) | scale(blueOf(p), blue) | alphaMask;
    }
    int stride(int width) const {
        const int bits = width * bitsPerPixel;
        return (bits + scanlinePad - 1) / scanlinePad * (scanlinePad / 8);
    }
};

// The Xft.dpi entry of the server's resource database (the root window's
// RESOURCE_MANAGER property, "name:\tvalue" lines), or 0 when it has none.
double xftDpi(xcb_connection_t* conn, xcb_window_t root) {
    const auto cookie = xcb_get_property(conn, 0, root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0,
                                         1 << 20);  // in 32-bit units: 4 MB
    XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(conn, cookie, nullptr));
    if (!reply || reply->format != 8) return 0.0;
    const char* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const std::string_view db(text, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    constexpr std::string_view key = "Xft.dpi:";
    for (std::size_t at = 0; at < db.size();) {
        const std::size_t end = std::min(db.find('\n', at), db.size());
        const std::string_view line = db.substr(at, end - at);
        at = end + 1;
        if (line.substr(0, key.size()) != key) continue;
        double value = 0.0, place = 0.0;
        for (char c : line.substr(key.size())) {
            if (c >= '0' && c <= '9') {
                if (place > 0.0) {
                    value += (c - '0') * place;
                    place /= 10.0;
                } else {
                    value = value * 10.0 + (c - '0');
                }
            } else if (c == '.' && place == 0.0) {
                place = 0.1;
            } else if (c != ' ' && c != '\t') {
                break;
            }
        }
        return value;
    }
    return 0.0;
}

class X11Backend final : public WindowBackend {
public:
    X11Backend() = default;
    X11Backend(const X11Backend&) = delete;
    X11Backend& operator=(const X11Backend&) = delete;
    ~X11Backend() override { release(); }

    bool create(void* parent, int width, int height, WindowEvents* events) override;
    void setBounds(int left, int top, int width, int height) override;
    void show() override;
    void hide() override;
    void invalidate() override { dirty_ = true; }
    void repaintNow() override {
        if (dirty_) paint();
    }
    void startTimer(int milliseconds) override;
    void idle() override;
    TextRenderer& text() override { return platformTextRenderer(); }
    double systemScale(void* parent) override;
    void* nativeHandle() const override {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_));
    }
    int eventDescriptor() const override { return usable() ? xcb_get_file_descriptor(conn_) : -1; }

private:
    void release();
    bool usable() const { return conn_ && window_ && !xcb_connection_has_error(conn_); }
    bool describeVisual(xcb_visualid_t visual, int depth);
    void handleEvents();
    // The left button went up without its release reaching us (the grab
    // went elsewhere, the window was hidden): the drag ends here.
    void dropLeft(int x, int y);
    bool leftStillHeld();
    // Whether a press is the second of a double-click. X has no notion of
    // one: the same button again within kDoubleClickMs of the server's
    // clock and kDoubleClickSlop pixels. The press after a double-click
    // starts afresh.
    bool isDoubleClick(const xcb_button_press_event_t& e, MouseButton button);
    void tick();
    void paint();

    WindowEvents* events_ = nullptr;
    xcb_connection_t* conn_ = nullptr;
    xcb_window_t window_ = 0;  // 0 when none, or once the server has destroyed it
    xcb_window_t root_ = 0;
    xcb_gcontext_t gc_ = 0;
    int width_ = 0, height_ = 0;
    PixelFormat format_;
    std::size_t maxRequestBytes_ = 0;
    std::vector<std::uint8_t> image_;
    bool dirty_ = true;
    bool leftHeld_ = false;  // a left press reached us and its release has not
    int lastX_ = 0, lastY_ = 0;  // the pointer at our last pointer event
    bool clickArmed_ = false;  // a press that a second one would make a double-click
    MouseButton clickButton_ = MouseButton::Left;
    xcb_timestamp_t clickTime_ = 0;
    int clickX_ = 0, clickY_ = 0;

    bool timerRunning_ = false;
    Clock::duration period_{};
    Clock::time_point due_{};
};

bool X11Backend::create(void* parent, int width, int height, WindowEvents* events) {
    release();
    events_ = events;  // the timer runs even when no window can be made
    const auto parentId = static_cast<xcb_window_t>(reinterpret_cast<std::uintptr_t>(parent));
    if (parentId == 0 || width <= 0 || height <= 0) return false;

    conn_ = xcb_connect(nullptr, nullptr);
    if (!conn_) return false;
    if (xcb_connection_has_error(conn_)) {
        release();
        return false;
    }

    // The parent's visual, depth and colormap; a bad id fails here, quietly.
    const auto attrCookie = xcb_get_window_attributes(conn_, parentId);
    const auto geomCookie = xcb_get_geometry(conn_, parentId);
    xcb_generic_error_t* error = nullptr;
    XcbPtr<xcb_get_window_attributes_reply_t> attrs(
        xcb_get_window_attributes_reply(conn_, attrCookie, &error));
    std::free(error);
    error = nullptr;
    XcbPtr<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(conn_, geomCookie, &error));
    std::free(error);
    if (!attrs || !geometry || attrs->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
        release();
        return false;
    }
    describeVisual(attrs->visual, geometry->depth);

    const xcb_window_t window = xcb_generate_id(conn_);
    const std::uint32_t mask = XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK |
                               XCB_CW_COLORMAP;
    const std::uint32_t values[] = {
        XCB_BACK_PIXMAP_NONE,  // we paint every pixel ourselves: no clearing to a background
        0,                     // border pixel (the border is 0 wide)
        XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
            XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_EXPOSURE |
            XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_ENTER_WINDOW |
            XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_FOCUS_CHANGE,
        attrs->colormap,
    };
    error = xcb_request_check(
        conn_, xcb_create_window_checked(conn_, geometry->depth, window, parentId, 0, 0,
                                         static_cast<std::uint16_t>(width),
                                         static_cast<std::uint16_t>(height), 0,
                                         XCB_WINDOW_CLASS_INPUT_OUTPUT, attrs->visual, mask, values));
    if (error) {
        std::free(error);
        release();
        return false;
    }
    window_ = window;
    width_ = width;
    height_ = height;

    // Changes of the resource database (Xft.dpi, when the desktop's scale
    // changes) come to us as property changes of the first screen's root.
    root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
    const std::uint32_t rootEvents[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_change_window_attributes(conn_, root_, XCB_CW_EVENT_MASK, rootEvents);

    gc_ = xcb_generate_id(conn_);
    const std::uint32_t gcValues[] = {0};
    xcb_create_gc(conn_, gc_, window_, XCB_GC_GRAPHICS_EXPOSURES, gcValues);

    // A put-image request carries a 24-byte header; longer images go in bands.
    maxRequestBytes_ = static_cast<std::size_t>(xcb_get_maximum_request_length(conn_)) * 4;
    dirty_ = true;

    // Round trip: the window and its graphics context exist when we return.
    XcbPtr<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    return usable();
}

bool X11Backend::describeVisual(xcb_visualid_t visual, int depth) {
    format_ = PixelFormat{};
    const xcb_setup_t* setup = xcb_get_setup(conn_);
    format_.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    format_.depth = depth;

    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == depth) {
            format_.bitsPerPixel = f.data->bits_per_pixel;
            format_.scanlinePad = f.data->scanline_pad;
        }
    }

    const xcb_visualtype_t* type = nullptr;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem && !type; xcb_screen_next(&s)) {
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem && !type;
             xcb_depth_next(&d)) {
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
                if (v.data->visual_id == visual) {
                    type = v.data;
                    break;
                }
            }
        }
    }
    if (!type) return false;
    if (type->_class != XCB_VISUAL_CLASS_TRUE_COLOR && type->_class != XCB_VISUAL_CLASS_DIRECT_COLOR)
        return false;
    const int bpp = format_.bitsPerPixel;
    if (bpp != 16 && bpp != 24 && bpp != 32) return false;
    if (format_.scanlinePad < 8 || format_.scanlinePad % 8 != 0) return false;

    format_.red = PixelFormat::channel(type->red_mask);
    format_.green = PixelFormat::channel(type->green_mask);
    format_.blue = PixelFormat::channel(type->blue_mask);
    const std::uint32_t depthMask = depth >= 32 ? 0xFFFFFFFFu : (1u << depth) - 1u;
    format_.alphaMask = depthMask & ~(type->red_mask | type->green_mask | type->blue_mask);
    format_.supported = true;
    return true;
}

void X11Backend::release() {
    if (conn_) {
        if (usable()) {
            // Checked, so the window is gone when we return; an error (the
            // host destroyed the parent and we have not read about it yet)
            // comes back to us and is dropped.
            std::free(xcb_request_check(conn_, xcb_destroy_window_checked(conn_, window_)));
        }
        xcb_disconnect(conn_);  // frees the graphics context and anything else of ours
    }
    conn_ = nullptr;
    window_ = 0;
    root_ = 0;
    gc_ = 0;
    width_ = height_ = 0;
    format_ = PixelFormat{};
}

void X11Backend::setBounds(int left, int top, int width, int height) {
    if (!usable() || width <= 0 || height <= 0) return;
    const std::uint32_t values[] = {static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top),
                                    static_cast<std::uint32_t>(width),
                                    static_cast<std::uint32_t>(height)};
    xcb_configure_window(conn_, window_,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    width_ = width;
    height_ = height;
    xcb_flush(conn_);
}

void X11Backend::show() {
    if (!usable()) return;
    xcb_map_window(conn_, window_);
    // Without a background the freshly mapped window shows whatever was
    // there: put the picture up at once rather than at the next idle call.
    paint();
    XcbPtr<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
}

void X11Backend::hide() {
    if (!usable()) return;
    xcb_unmap_window(conn_, window_);
    xcb_flush(conn_);
}

void X11Backend::startTimer(int milliseconds) {
    period_ = std::chrono::milliseconds(std::max(1, milliseconds));
    due_ = Clock::now() + period_;
    timerRunning_ = true;
}

void X11Backend::idle() {
    handleEvents();
    tick();
    if (dirty_) paint();
}

void X11Backend::tick() {
    if (!timerRunning_ || !events_) return;
    const auto now = Clock::now();
    if (now < due_) return;
    // One tick however late we are; keep the rhythm when on time, and
    // restart it from now after a stall rather than catching up in a burst.
    due_ += period_;
    if (due_ <= now) due_ = now + period_;
    events_->timerTick();
}

void X11Backend::handleEvents() {
    if (!conn_) return;
    // Motion is compressed: of a run of moves only the last is delivered.
    bool moved = false;
    int moveX = 0, moveY = 0;
    auto deliverMove = [&] {
        if (moved && events_) {
            moved = false;
            events_->mouseMove(moveX, moveY);
        }
    };

    while (conn_) {
        XcbPtr<xcb_generic_event_t> event(xcb_poll_for_event(conn_));
        if (!event) break;
        const std::uint8_t type = event->response_type & 0x7F;
        if (type == 0) continue;  // an error of one of our requests: ours, and harmless

        if (type == XCB_MOTION_NOTIFY) {
            const auto* e = reinterpret_cast<const xcb_motion_notify_event_t*>(event.get());
            if (e->event == window_) {
                if (leftHeld_ && !(e->state & XCB_BUTTON_MASK_1)) {
                    deliverMove();
                    dropLeft(e->event_x, e->event_y);
                }
                moved = true;
                moveX = lastX_ = e->event_x;
                moveY = lastY_ = e->event_y;
            }
            continue;
        }
        deliverMove();

        switch (type) {
            case XCB_BUTTON_PRESS:
            case XCB_BUTTON_RELEASE: {
                // Both share one layout. The press starts X's implicit
                // pointer grab: moves and the release come to this window,
                // in its coordinates, until every button is up.
                const auto* e = reinterpret_cast<const xcb_button_press_event_t*>(event.get());
                if (e->event != window_ || !events_) break;
                const bool shift = (e->state & XCB_MOD_MASK_SHIFT) != 0;
                MouseButton button;
                switch (e->detail) {
                    case 1: button = MouseButton::Left; break;
                    case 2: button = MouseButton::Middle; break;
                    case 3: button = MouseButton::Right; break;
                    case 4:  // the wheel: a press (and its release) a notch, 4 up, 5 down
                    case 5:
                        if (type == XCB_BUTTON_PRESS)
                            events_->mouseWheel(e->event_x, e->event_y, e->detail == 4 ? 1 : -1, shift);
                        continue;
                    default: continue;  // the horizontal wheel (6, 7) and extra buttons
                }
                lastX_ = e->event_x;
                lastY_ = e->event_y;
                if (button == MouseButton::Left) leftHeld_ = type == XCB_BUTTON_PRESS;
                if (type == XCB_BUTTON_PRESS) {
                    ShiftState state{shift, (e->state & XCB_MOD_MASK_CONTROL) != 0, false};
                    state.doubleClick = isDoubleClick(*e, button);
                    events_->mouseDown(e->event_x, e->event_y, button, state);
                } else {
                    events_->mouseUp(e->event_x, e->event_y, button);
                }
                break;
            }
            case XCB_ENTER_NOTIFY:
            case XCB_LEAVE_NOTIFY: {
                // A grab that begins or ends (someone else's, or ours
                // released because the window became unviewable) may take
                // the release away from us: ask the server whether the
                // button is still down. Plain crossings during our own grab
                // change nothing.
                const auto* e = reinterpret_cast<const xcb_enter_notify_event_t*>(event.get());
                if (leftHeld_ && e->event == window_ && e->mode != XCB_NOTIFY_MODE_NORMAL &&
                    !leftStillHeld())
                    dropLeft(e->event_x, e->event_y);
                break;
            }
            case XCB_FOCUS_OUT: {
                const auto* e = reinterpret_cast<const xcb_focus_out_event_t*>(event.get());
                if (leftHeld_ && e->event == window_ && e->mode == XCB_NOTIFY_MODE_UNGRAB &&
                    !leftStillHeld())
                    dropLeft(lastX_, lastY_);
                break;
            }
            case XCB_UNMAP_NOTIFY: {
                // Hidden mid-drag: the release can no longer come to us.
                const auto* e = reinterpret_cast<const xcb_unmap_notify_event_t*>(event.get());
                if (leftHeld_ && e->window == window_) dropLeft(lastX_, lastY_);
                break;
            }
            case XCB_EXPOSE: {
                const auto* e = reinterpret_cast<const xcb_expose_event_t*>(event.get());
                if (e->window == window_) dirty_ = true;
                break;
            }
            case XCB_CONFIGURE_NOTIFY: {
                const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event.get());
                if (e->window == window_) {
                    width_ = e->width;
                    height_ = e->height;
                }
                break;
            }
            case XCB_PROPERTY_NOTIFY: {
                const auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
                if (e->window == root_ && e->atom == XCB_ATOM_RESOURCE_MANAGER && events_)
                    events_->systemScaleChanged();
                break;
            }
            case XCB_DESTROY_NOTIFY: {
                // The host destroyed its window, and ours with it: from now
                // on there is nothing to draw in or destroy.
                const auto* e = reinterpret_cast<const xcb_destroy_notify_event_t*>(event.get());
                if (e->window == window_) window_ = 0;
                break;
            }
            default:
                break;
        }
    }
    deliverMove();
}

double X11Backend::systemScale(void*) {
    // The window's own connection when there is one; a short-lived one before.
    xcb_connection_t* conn = conn_;
    if (!conn) {
        conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(conn)) {
            xcb_disconnect(conn);
            conn = nullptr;
        }
    }
    double dpi = 0.0;
    if (conn) {
        // The resource database lives on the first screen's root.
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
        dpi = xftDpi(conn, root);
        if (conn != conn_) xcb_disconnect(conn);
    }
    if (dpi > 0.0) return dpi / 96.0;
    if (const char* gdk = std::getenv("GDK_SCALE")) {
        int factor = 0;
        for (const char* p = gdk; *p >= '0' && *p <= '9'; ++p) factor = factor * 10 + (*p - '0');
        if (factor > 0) return factor;
    }
    return 1.0;
}

bool X11Backend::leftStillHeld() {
    if (!usable()) return false;
    XcbPtr<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(conn_, xcb_query_pointer(conn_, window_), nullptr));
    return pointer && (pointer->mask & XCB_BUTTON_MASK_1);
}

bool X11Backend::isDoubleClick(const xcb_button_press_event_t& e, MouseButton button) {
    constexpr xcb_timestamp_t kDoubleClickMs = 400;  // what desktops default to
    constexpr int kDoubleClickSlop = 4;
    const bool isDouble = clickArmed_ && button == clickButton_ &&
                          static_cast<xcb_timestamp_t>(e.time - clickTime_) <= kDoubleClickMs &&
                          std::abs(e.event_x - clickX_) <= kDoubleClickSlop &&
                          std::abs(e.event_y - clickY_) <= kDoubleClickSlop;
    clickArmed_ = !isDouble;
    clickButton_ = button;
    clickTime_ = e.time;
    clickX_ = e.event_x;
    clickY_ = e.event_y;
    return isDouble;
}

void X11Backend::dropLeft(int x, int y) {
    leftHeld_ = false;
    clickArmed_ = false;  // a click whose release went elsewhere starts no double-click
    if (events_) events_->mouseUp(x, y, MouseButton::Left);
}

void X11Backend::paint() {
    dirty_ = false;
    if (!usable() || !format_.supported || !events_) return;
    const Canvas& frame = events_->frame();
    const int width = std::min(frame.width(), width_);
    const int height = std::min(frame.height(), height_);
    if (width <= 0 || height <= 0) return;

    const int stride = format_.stride(width);
    const std::size_t room = maxRequestBytes_ > 24 ? maxRequestBytes_ - 24 : 0;
    const int band = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(height),
                                                            room / static_cast<std::size_t>(stride)));
    if (band <= 0) return;
    image_.assign(static_cast<std::size_t>(stride) * band, 0);
    const int bytes = format_.bitsPerPixel / 8;

    for (int top = 0; top < height; top += band) {
        const int rows = std::min(band, height - top);
        for (int y = 0; y < rows; ++y) {
            const Pixel* src = frame.row(top + y);
            std::uint8_t* dst = image_.data() + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < width; ++x, dst += bytes) {
                const std::uint32_t v = format_.convert(src[x]);
                for (int b = 0; b < bytes; ++b) {
                    const int shift = format_.msbFirst ? 8 * (bytes - 1 - b) : 8 * b;
                    dst[b] = static_cast<std::uint8_t>(v >> shift);
                }
            }
        }
        xcb_put_image(conn_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_,
                      static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(rows), 0,
                      static_cast<std::int16_t>(top), 0, static_cast<std::uint8_t>(format_.depth),
                      static_cast<std::uint32_t>(stride) * static_cast<std::uint32_t>(rows),
                      image_.data());
    }
    xcb_flush(conn_);
}

}  // namespace

std::unique_ptr<WindowBackend> createWindowBackend() { return std::make_unique<X11Backend>(); }
bool windowSystemPresent() { return true; }

}  // namespace halvorine::editor
