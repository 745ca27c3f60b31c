// The host's side of an X11 editor test: a connection of its own (Xlib, as
// hosts use), top-level windows to put editors in, the real pointer and
// keyboard driven through the XTest extension, and window captures.
#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <string>

#include "canvas.h"

namespace halvorine::test {

// Counts X errors that reach Xlib's process-wide error handler (a host's
// default one would end the process). Installed once per process.
void installGlobalErrorCounter();
int globalXErrors();

class XHost {
public:
    XHost();  // opens DISPLAY; fails the test when it cannot
    ~XHost();
    XHost(const XHost&) = delete;
    XHost& operator=(const XHost&) = delete;

    Display* display() const { return display_; }
    bool ok() const { return display_ != nullptr; }

    // A mapped top-level window at x, y on the root, shown once this returns.
    // depth 32 makes it with the screen's ARGB visual.
    Window createTopLevel(int x, int y, int width, int height, int depth = 24);
    void destroy(Window window);

    // The pointer, in root coordinates, and its buttons (1 to 7; 4 and 5
    // are the wheel's notches up and down), Shift and Ctrl.
    void moveTo(int rootX, int rootY);
    void button(unsigned button, bool down);
    void shift(bool down);
    void control(bool down);
    void sync();

    // The children the X server lists for a window.
    std::vector<Window> children(Window window);
    // What the window shows now, as 0x00RRGGBB; empty when it cannot be read.
    // `alpha`, when given, receives the bits of the pixel values outside
    // the red, green and blue masks, per pixel (for 32-bit windows).
    editor::Canvas capture(Window window, std::vector<unsigned>* alpha = nullptr);

private:
    Display* display_ = nullptr;
};

// Calls `step` until `done` is true or `milliseconds` have passed; true if
// `done` became true.
bool pumpUntil(const std::function<void()>& step, const std::function<bool()>& done,
               int milliseconds = 2000);

// A window id as the pointer argument effEditOpen and the backends take.
void* handle(Window window);

// How many file descriptors the process has open (leaks of connections).
int openFileDescriptors();

// Writes an 8-bit RGB PNG of the canvas. False when the file cannot be written.
bool writePng(const std::string& path, const editor::Canvas& image);

}  // namespace halvorine::test
