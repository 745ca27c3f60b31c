// What only a window system can do for the editor, behind one narrow
// interface. The editor window computes every pixel itself (see canvas.h);
// a backend makes the child window, delivers the mouse and the timer, and
// puts the composed picture on the screen.
//
// Implementations: X11 (Linux), Win32 (Windows), a headless one for tests,
// and none for a build without a window system. Exactly one is linked into
// a build, and createWindowBackend() makes it.
#pragma once

#include <memory>

#include "canvas.h"
#include "text_renderer.h"

namespace halvorine::editor {

enum class MouseButton { Left, Right, Middle };

// The keys held at a press, and whether it is the second press of a
// double-click (as the window system judges one: the same button again
// within its double-click time and a few pixels).
struct ShiftState {
    bool shift = false;
    bool control = false;
    bool doubleClick = false;
};

// Implemented by the editor window; called on the user-interface thread.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // Coordinates are in pixels from the window's top-left corner. After a
    // press the window keeps receiving moves and the release until the
    // button is let go, also outside the window (x, y may be negative or
    // beyond the window).
    virtual void mouseDown(int x, int y, MouseButton button, ShiftState state) = 0;
    virtual void mouseMove(int x, int y) = 0;
    virtual void mouseUp(int x, int y, MouseButton button) = 0;
    // The vertical wheel turned by `notches` whole notches (positive: away
    // from the user, "up") with the pointer at x, y. True when the window
    // took it (the pointer is over a slider); otherwise the backend may pass
    // it on to the host's windows. With 0 notches it only asks.
    virtual bool mouseWheel(int x, int y, int notches, bool shift) {
        (void)x, (void)y, (void)notches, (void)shift;
        return false;
    }
    // The window's timer, every period given to startTimer.
    virtual void timerTick() = 0;
    // The window system's scale for the window changed (it moved to a
    // screen of another DPI): the window resolves its factor again.
    virtual void systemScaleChanged() {}
    // The composed picture of the whole window, to put on the screen.
    virtual const Canvas& frame() = 0;
};

class WindowBackend {
public:
    virtual ~WindowBackend() = default;  // releases the window and all it holds

    // Makes a borderless child window inside `parent` (the host's window
    // handle: an X11 window id, an HWND) at 0, 0 with the given size,
    // hidden. False when the window system refuses; the editor then shows
    // nothing but stays usable.
    virtual bool create(void* parent, int width, int height, WindowEvents* events) = 0;
    virtual void setBounds(int left, int top, int width, int height) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    // The picture changed: it will be put on the screen at the next repaint.
    virtual void invalidate() = 0;
    // Puts a pending picture on the screen now.
    virtual void repaintNow() = 0;
    // Starts (or restarts) the timer with this period.
    virtual void startTimer(int milliseconds) = 0;
    // The host's idle call (effEditIdle): handles pending window-system
    // events and due timer ticks where the window system does not deliver
    // them by itself, and repaints what is pending.
    virtual void idle() = 0;
    virtual TextRenderer& text() = 0;
    // The window system's scale factor for a window in `parent` (null: the
    // screen's), unclamped; 1 when it says nothing. On X11 the Xft.dpi
    // resource / 96, then GDK_SCALE; on Windows the parent's DPI / 96. May
    // ask the window system (a round trip): not for every idle call.
    virtual double systemScale(void* parent) { (void)parent; return 1.0; }
    // The child window in the same form as `create`'s parent (an X11
    // window id, an HWND); null when there is none.
    virtual void* nativeHandle() const { return nullptr; }
    // The file descriptor the window system's events arrive on, for hosts
    // that watch descriptors in their own run loop and call idle() when it
    // is readable; -1 when there is none (events come by other means).
    virtual int eventDescriptor() const { return -1; }
};

std::unique_ptr<WindowBackend> createWindowBackend();

// False when this build has no window system to show an editor on: the
// effect then announces no editor, and createWindowBackend() makes none.
bool windowSystemPresent();

}  // namespace halvorine::editor
