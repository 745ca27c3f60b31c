#include "backend_headless.h"

#include <algorithm>

namespace halvorine::editor {
namespace {
std::vector<HeadlessBackend*>& registry() {
    static std::vector<HeadlessBackend*> backends;
    return backends;
}
}  // namespace

HeadlessBackend::HeadlessBackend() { registry().push_back(this); }

HeadlessBackend::~HeadlessBackend() { std::erase(registry(), this); }

const std::vector<HeadlessBackend*>& HeadlessBackend::live() { return registry(); }

bool HeadlessBackend::create(void* parentWindow, int width, int height, WindowEvents* events) {
    parent = parentWindow;
    bounds = {0, 0, width, height};
    events_ = events;
    created = true;
    return true;
}

void HeadlessBackend::setBounds(int left, int top, int width, int height) {
    bounds = {left, top, width, height};
}

void HeadlessBackend::repaintNow() {
    if (!invalid || !events_) return;
    screen_ = events_->frame();
    invalid = false;
    ++repaints;
}

TextRenderer& HeadlessBackend::text() { return text_; }

void HeadlessBackend::RecordingText::drawText(Canvas& canvas, int x, int y, std::string_view text,
                                              const char* face, int points, Pixel colour) {
    owner_.texts.emplace_back(text);
    platformTextRenderer().drawText(canvas, x, y, text, face, points, colour);
}

void HeadlessBackend::press(int x, int y, MouseButton button, bool shift) {
    press(x, y, button, ShiftState{shift, false, false});
}

void HeadlessBackend::press(int x, int y, MouseButton button, ShiftState state) {
    if (events_) events_->mouseDown(x, y, button, state);
}

bool HeadlessBackend::wheel(int x, int y, int notches, bool shift) {
    return events_ && events_->mouseWheel(x, y, notches, shift);
}

void HeadlessBackend::move(int x, int y) {
    if (events_) events_->mouseMove(x, y);
}

void HeadlessBackend::release(int x, int y, MouseButton button) {
    if (events_) events_->mouseUp(x, y, button);
}

void HeadlessBackend::tick() {
    if (events_) events_->timerTick();
}

std::unique_ptr<WindowBackend> createWindowBackend() { return std::make_unique<HeadlessBackend>(); }
bool windowSystemPresent() { return true; }  // the tests' screen stands in for one

}  // namespace halvorine::editor
