// A window backend with no window system, for tests: it records what the
// editor asks of it and lets a test play the user (mouse, timer).
#pragma once

#include <string>
#include <vector>

#include "backend.h"

namespace halvorine::editor {

class HeadlessBackend final : public WindowBackend {
public:
    HeadlessBackend();
    ~HeadlessBackend() override;

    bool create(void* parent, int width, int height, WindowEvents* events) override;
    void setBounds(int left, int top, int width, int height) override;
    void show() override { visible = true; }
    void hide() override { visible = false; }
    void invalidate() override { invalid = true; }
    void repaintNow() override;
    void startTimer(int milliseconds) override { timerPeriod = milliseconds; }
    void idle() override { ++idles; }
    TextRenderer& text() override;

    // Playing the user.
    void press(int x, int y, MouseButton button = MouseButton::Left, bool shift = false);
    void press(int x, int y, MouseButton button, ShiftState state);
    // The wheel turned by `notches` (positive: up); whether the window took it.
    bool wheel(int x, int y, int notches, bool shift = false);
    void move(int x, int y);
    void release(int x, int y, MouseButton button = MouseButton::Left);
    void tick();  // one timer period
    // What the screen shows after the last repaint.
    const Canvas& screen() const { return screen_; }

    // The texts drawn through this backend, oldest first.
    std::vector<std::string> texts;

    // The backends alive now, oldest first.
    static const std::vector<HeadlessBackend*>& live();

    void* parent = nullptr;
    Rect bounds;
    bool created = false;
    bool visible = false;
    bool invalid = false;
    int timerPeriod = 0;
    int idles = 0;
    int repaints = 0;

private:
    // Draws with the platform's renderer and notes the text.
    class RecordingText final : public TextRenderer {
    public:
        explicit RecordingText(HeadlessBackend& owner) : owner_(owner) {}
        void drawText(Canvas& canvas, int x, int y, std::string_view text, const char* face,
                      int points, Pixel colour) override;

    private:
        HeadlessBackend& owner_;
    };

    RecordingText text_{*this};
    WindowEvents* events_ = nullptr;
    Canvas screen_;
};

}  // namespace halvorine::editor
