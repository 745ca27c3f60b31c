// GoogleTest before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include "x_host.h"

#include <X11/Xutil.h>
#include <dirent.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <thread>

namespace halvorine::test {
namespace {

std::atomic<int> errors{0};

int countError(Display*, XErrorEvent*) {
    errors.fetch_add(1);
    return 0;
}

unsigned lowBit(unsigned long mask) {
    unsigned shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

unsigned channel(unsigned long pixel, unsigned long mask) {
    if (!mask) return 0;
    const unsigned long max = mask >> lowBit(mask);
    return static_cast<unsigned>(((pixel & mask) >> lowBit(mask)) * 255 / max);
}

}  // namespace

void installGlobalErrorCounter() { XSetErrorHandler(countError); }
int globalXErrors() { return errors.load(); }

XHost::XHost() {
    display_ = XOpenDisplay(nullptr);
    EXPECT_NE(display_, nullptr) << "cannot open the display";
}

XHost::~XHost() {
    if (display_) XCloseDisplay(display_);
}

Window XHost::createTopLevel(int x, int y, int width, int height, int depth) {
    const int screen = DefaultScreen(display_);
    XSetWindowAttributes attributes{};
    unsigned long mask = CWBackPixel | CWBorderPixel | CWOverrideRedirect | CWEventMask;
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.override_redirect = True;
    attributes.event_mask = StructureNotifyMask;
    Visual* visual = DefaultVisual(display_, screen);
    if (depth == 32) {
        XVisualInfo info;
        if (!XMatchVisualInfo(display_, screen, 32, TrueColor, &info)) return 0;
        visual = info.visual;
        attributes.colormap =
            XCreateColormap(display_, RootWindow(display_, screen), visual, AllocNone);
        mask |= CWColormap;
    } else {
        depth = DefaultDepth(display_, screen);
    }
    const Window window =
        XCreateWindow(display_, RootWindow(display_, screen), x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, depth, InputOutput, visual, mask, &attributes);
    XMapWindow(display_, window);
    XEvent event;
    do XWindowEvent(display_, window, StructureNotifyMask, &event);
    while (event.type != MapNotify);
    return window;
}

void XHost::destroy(Window window) {
    XDestroyWindow(display_, window);
    XSync(display_, False);
}

void XHost::moveTo(int rootX, int rootY) {
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, CurrentTime);
    sync();
}

void XHost::button(unsigned button, bool down) {
    XTestFakeButtonEvent(display_, button, down ? True : False, CurrentTime);
    sync();
}

void XHost::shift(bool down) {
    XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, XK_Shift_L), down ? True : False,
                      CurrentTime);
    sync();
}

void XHost::control(bool down) {
    XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, XK_Control_L), down ? True : False,
                      CurrentTime);
    sync();
}

void XHost::sync() { XSync(display_, False); }

std::vector<Window> XHost::children(Window window) {
    Window root = 0, parent = 0;
    Window* list = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (XQueryTree(display_, window, &root, &parent, &list, &count)) {
        result.assign(list, list + count);
        if (list) XFree(list);
    }
    return result;
}

editor::Canvas XHost::capture(Window window, std::vector<unsigned>* alpha) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes)) return {};
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) return {};
    editor::Canvas canvas(image->width, image->height);
    const unsigned long rgbMask = image->red_mask | image->green_mask | image->blue_mask;
    if (alpha) alpha->assign(static_cast<std::size_t>(image->width) * image->height, 0);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            canvas.set(x, y,
                       editor::rgb(channel(p, image->red_mask), channel(p, image->green_mask),
                                   channel(p, image->blue_mask)));
            if (alpha)
                (*alpha)[static_cast<std::size_t>(y) * image->width + x] =
                    static_cast<unsigned>((p & ~rgbMask) >> 24);
        }
    }
    XDestroyImage(image);
    return canvas;
}

bool pumpUntil(const std::function<void()>& step, const std::function<bool()>& done,
               int milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (true) {
        step();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

namespace {

void put32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void chunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    put32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

bool writePng(const std::string& path, const editor::Canvas& image) {
    if (image.empty()) return false;
    // Rows of filter byte 0 and RGB triples, deflated as one stream.
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<std::size_t>(image.height()) * (1 + 3 * image.width()));
    for (int y = 0; y < image.height(); ++y) {
        raw.push_back(0);
        for (int x = 0; x < image.width(); ++x) {
            const editor::Pixel p = image.at(x, y);
            raw.push_back(static_cast<unsigned char>(editor::redOf(p)));
            raw.push_back(static_cast<unsigned char>(editor::greenOf(p)));
            raw.push_back(static_cast<unsigned char>(editor::blueOf(p)));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
        return false;
    packed.resize(packedSize);

    std::vector<unsigned char> header;
    put32(header, static_cast<std::uint32_t>(image.width()));
    put32(header, static_cast<std::uint32_t>(image.height()));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace

    std::vector<unsigned char> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    chunk(file, "IHDR", header);
    chunk(file, "IDAT", packed);
    chunk(file, "IEND", {});

    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!out) return false;
    return std::fwrite(file.data(), 1, file.size(), out.get()) == file.size();
}

void* handle(Window window) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window)); }

int openFileDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

}  // namespace halvorine::test
