// The X11 backend against a real X server (a private Xvfb): a test host
// makes top-level windows with its own connection, the backend puts a child
// window in them, and the real pointer is driven through XTest.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "backend.h"
#include "x_host.h"
#include "xvfb.h"

namespace halvorine::test {
namespace {

using editor::Canvas;
using editor::MouseButton;
using editor::Pixel;
using editor::WindowBackend;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 380, kHeight = 144;
constexpr int kParentX = 100, kParentY = 120;

Pixel pattern(int x, int y) {
    return editor::rgb(static_cast<unsigned>(x), static_cast<unsigned>(y),
                       static_cast<unsigned>(x * 7 + y * 3));
}

// What the backend told the window.
struct Recorder final : editor::WindowEvents {
    struct Button {
        int x, y;
        MouseButton button;
        editor::ShiftState state;
    };
    struct Wheel {
        int x, y, notches;
        bool shift;
    };
    std::vector<Button> downs, ups;
    std::vector<Wheel> wheels;
    std::vector<std::pair<int, int>> moves;
    std::vector<Clock::time_point> ticks;
    Canvas canvas{kWidth, kHeight};
    int frames = 0;

    Recorder() {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) canvas.set(x, y, pattern(x, y));
    }
    void mouseDown(int x, int y, MouseButton b, editor::ShiftState state) override {
        downs.push_back({x, y, b, state});
    }
    void mouseMove(int x, int y) override { moves.emplace_back(x, y); }
    void mouseUp(int x, int y, MouseButton b) override { ups.push_back({x, y, b, {}}); }
    bool mouseWheel(int x, int y, int notches, bool shift) override {
        wheels.push_back({x, y, notches, shift});
        return true;
    }
    void timerTick() override { ticks.push_back(Clock::now()); }
    const Canvas& frame() override {
        ++frames;
        return canvas;
    }
};

// Counts the pixels where two pictures differ (over the smaller area).
int differences(const Canvas& a, const Canvas& b) {
    int count = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) count += a.at(x, y) != b.at(x, y);
    return count;
}

class X11Backend : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.ok());
        errorsBefore = globalXErrors();
        parent = host.createTopLevel(kParentX, kParentY, kWidth + 20, kHeight + 20);
        ASSERT_NE(parent, 0u);
    }
    void TearDown() override { EXPECT_EQ(globalXErrors(), errorsBefore) << "an X error reached Xlib's global handler"; }

    // Creates and shows a backend in `in` (the fixture's parent by default).
    std::unique_ptr<WindowBackend> open(Recorder& events, Window in = 0) {
        auto backend = editor::createWindowBackend();
        EXPECT_TRUE(backend->create(handle(in ? in : parent), kWidth, kHeight, &events));
        backend->show();
        return backend;
    }
    Window child(Window of = 0) {
        const auto list = host.children(of ? of : parent);
        return list.size() == 1 ? list.front() : 0;
    }
    // The server serves each connection in its own turn: what the backend
    // drew shows to the host's connection a moment later.
    bool showsSoon(Window window, const Canvas& expected) {
        return pumpUntil([] {}, [&] { return differences(host.capture(window), expected) == 0; },
                         1000);
    }
    void pump(WindowBackend& backend, const std::function<bool()>& done) {
        EXPECT_TRUE(pumpUntil([&] { backend.idle(); }, done)) << "timed out";
    }

    XHost host;
    Window parent = 0;
    int errorsBefore = 0;
};

TEST_F(X11Backend, MakesAChildAtTheTopLeftOfTheParentThatShowsTheCanvas) {
    Recorder events;
    auto backend = open(events);
    const Window window = child();
    ASSERT_NE(window, 0u);

    XWindowAttributes child{}, parentAttributes{};
    ASSERT_TRUE(XGetWindowAttributes(host.display(), window, &child));
    ASSERT_TRUE(XGetWindowAttributes(host.display(), parent, &parentAttributes));
    EXPECT_EQ(child.x, 0);
    EXPECT_EQ(child.y, 0);
    EXPECT_EQ(child.width, kWidth);
    EXPECT_EQ(child.height, kHeight);
    EXPECT_EQ(child.border_width, 0);
    EXPECT_EQ(child.map_state, IsViewable);
    EXPECT_EQ(child.depth, parentAttributes.depth);
    EXPECT_EQ(child.visual, parentAttributes.visual);
    // Only the events the backend needs, and only on its own window.
    EXPECT_EQ(child.your_event_mask & ~(ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                                        ExposureMask | StructureNotifyMask),
              0);

    // show() puts the picture up at once.
    EXPECT_EQ(differences(host.capture(window), events.canvas), 0);

    // A changed picture reaches the screen on the next idle call once
    // invalidated, and at once with repaintNow.
    events.canvas.fillRect({10, 10, 50, 20}, editor::rgb(255, 0, 0));
    backend->invalidate();
    backend->idle();
    EXPECT_TRUE(showsSoon(window, events.canvas));
    events.canvas.fillRect({100, 40, 30, 30}, editor::rgb(0, 0, 255));
    backend->invalidate();
    backend->repaintNow();
    EXPECT_TRUE(showsSoon(window, events.canvas));

    // Nothing pending: idle does not ask for the frame again.
    const int frames = events.frames;
    backend->idle();
    backend->repaintNow();
    EXPECT_EQ(events.frames, frames);

    backend->hide();
    host.sync();
    XGetWindowAttributes(host.display(), window, &child);
    EXPECT_EQ(child.map_state, IsUnmapped);
    backend->setBounds(5, 6, 200, 100);
    backend->show();
    host.sync();
    XGetWindowAttributes(host.display(), window, &child);
    EXPECT_EQ(child.map_state, IsViewable);
    EXPECT_EQ(child.x, 5);
    EXPECT_EQ(child.y, 6);
    EXPECT_EQ(child.width, 200);
    EXPECT_EQ(child.height, 100);

    backend.reset();
    EXPECT_TRUE(host.children(parent).empty()) << "the window outlived its backend";
}

TEST_F(X11Backend, RepaintsWhatAnotherWindowUncovers) {
    Recorder events;
    auto backend = open(events);
    const Window window = child();
    ASSERT_NE(window, 0u);
    const Window cover = host.createTopLevel(kParentX + 50, kParentY + 20, 100, 60);
    EXPECT_GT(differences(host.capture(window), events.canvas), 0);
    host.destroy(cover);
    pump(*backend, [&] { return differences(host.capture(window), events.canvas) == 0; });
}

TEST_F(X11Backend, WritesAnOpaqueAlphaInAThirtyTwoBitParent) {
    const Window argb = host.createTopLevel(600, 300, kWidth, kHeight, 32);
    if (!argb) GTEST_SKIP() << "the server has no 32-bit visual";
    Recorder events;
    auto backend = open(events, argb);
    const Window window = child(argb);
    ASSERT_NE(window, 0u);
    XWindowAttributes attributes{};
    XGetWindowAttributes(host.display(), window, &attributes);
    EXPECT_EQ(attributes.depth, 32);

    std::vector<unsigned> alpha;
    EXPECT_EQ(differences(host.capture(window, &alpha), events.canvas), 0);
    ASSERT_FALSE(alpha.empty());
    for (unsigned a : alpha) ASSERT_EQ(a, 0xFFu);
}

TEST_F(X11Backend, APressCapturesThePointerUntilTheRelease) {
    Recorder events;
    auto backend = open(events);
    host.moveTo(kParentX + 50, kParentY + 7);
    host.button(1, true);
    pump(*backend, [&] { return events.downs.size() == 1; });
    EXPECT_EQ(events.downs[0].x, 50);
    EXPECT_EQ(events.downs[0].y, 7);
    EXPECT_EQ(events.downs[0].button, MouseButton::Left);
    EXPECT_FALSE(events.downs[0].state.shift);

    // Dragged past the left edge, then past the right one: the moves keep
    // coming, in our window's coordinates.
    host.moveTo(kParentX - 30, kParentY + 5);
    pump(*backend, [&] { return !events.moves.empty() && events.moves.back().first == -30; });
    EXPECT_EQ(events.moves.back().second, 5);
    host.moveTo(kParentX + kWidth + 60, kParentY - 10);
    pump(*backend, [&] { return events.moves.back().first == kWidth + 60; });
    EXPECT_EQ(events.moves.back().second, -10);

    // Released outside: the release still comes to us.
    host.button(1, false);
    pump(*backend, [&] { return events.ups.size() == 1; });
    EXPECT_EQ(events.ups[0].x, kWidth + 60);
    EXPECT_EQ(events.ups[0].y, -10);
    EXPECT_EQ(events.ups[0].button, MouseButton::Left);

    // With the button up, moves outside the window are no longer ours.
    const auto movesSoFar = events.moves.size();
    host.moveTo(kParentX + kWidth + 80, kParentY - 20);
    for (int i = 0; i < 20; ++i) backend->idle();
    EXPECT_EQ(events.moves.size(), movesSoFar);
}

// Shift and Ctrl, the buttons, double-clicks (a second press of the same
// button soon after and close by) and the vertical wheel, a notch a press
// of button 4 (up) or 5 (down); the horizontal wheel (6, 7) is not ours.
TEST_F(X11Backend, ReportsKeysButtonsDoubleClicksAndTheWheel) {
    Recorder events;
    auto backend = open(events);
    host.moveTo(kParentX + 20, kParentY + 30);
    const auto click = [&](unsigned button) {
        host.button(button, true);
        host.button(button, false);
    };

    host.shift(true);
    click(1);
    host.shift(false);
    host.control(true);
    host.moveTo(kParentX + 60, kParentY + 30);  // too far for a double-click
    click(1);
    host.control(false);
    host.moveTo(kParentX + 62, kParentY + 33);  // close enough
    click(1);
    click(1);  // a third press starts afresh
    click(3);
    click(2);
    click(2);
    pump(*backend, [&] { return events.ups.size() == 7; });
    ASSERT_EQ(events.downs.size(), 7u);
    const struct {
        int x;
        MouseButton button;
        bool shift, control, doubleClick;
    } expected[] = {
        {20, MouseButton::Left, true, false, false},    {60, MouseButton::Left, false, true, false},
        {62, MouseButton::Left, false, false, true},    {62, MouseButton::Left, false, false, false},
        {62, MouseButton::Right, false, false, false},  {62, MouseButton::Middle, false, false, false},
        {62, MouseButton::Middle, false, false, true},
    };
    for (std::size_t i = 0; i < events.downs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events.downs[i].x, expected[i].x);
        EXPECT_EQ(events.downs[i].button, expected[i].button);
        EXPECT_EQ(events.ups[i].button, expected[i].button);
        EXPECT_EQ(events.downs[i].state.shift, expected[i].shift);
        EXPECT_EQ(events.downs[i].state.control, expected[i].control);
        EXPECT_EQ(events.downs[i].state.doubleClick, expected[i].doubleClick);
    }
    EXPECT_EQ(events.downs[0].y, 30);

    // Slow clicks are two single ones.
    host.moveTo(kParentX + 200, kParentY + 40);
    click(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    click(1);
    pump(*backend, [&] { return events.downs.size() == 9; });
    EXPECT_FALSE(events.downs[8].state.doubleClick);

    EXPECT_TRUE(events.wheels.empty());
    for (unsigned wheel : {4u, 6u, 7u, 5u, 5u}) click(wheel);
    host.shift(true);
    click(4);
    host.shift(false);
    pump(*backend, [&] { return events.wheels.size() == 4; });
    ASSERT_EQ(events.wheels.size(), 4u);
    const int notches[] = {1, -1, -1, 1};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(events.wheels[i].notches, notches[i]);
        EXPECT_EQ(events.wheels[i].x, 200);
        EXPECT_EQ(events.wheels[i].y, 40);
        EXPECT_EQ(events.wheels[i].shift, i == 3);
    }
    EXPECT_EQ(events.downs.size(), 9u) << "a wheel notch is no press";
}

TEST_F(X11Backend, TheTimerKeepsItsPeriodAndDoesNotBurstAfterAStall) {
    Recorder events;
    auto backend = open(events);
    backend->startTimer(25);
    const auto start = Clock::now();
    auto last = start;
    Clock::duration longestGap{};
    while (Clock::now() - start < std::chrono::milliseconds(500)) {
        backend->idle();
        const auto now = Clock::now();
        longestGap = std::max(longestGap, now - last);
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(16));  // a 60 Hz host
    }
    const auto elapsed = last - start;
    // The ticks follow the period, not the idle rhythm: never more than
    // the period allows, and (when the idle calls came in time) hardly
    // fewer.
    const auto periods = static_cast<std::size_t>(elapsed / std::chrono::milliseconds(25));
    EXPECT_LE(events.ticks.size(), periods + 1);
    if (longestGap < std::chrono::milliseconds(25))
        EXPECT_GE(events.ticks.size() + 2, periods);
    else
        EXPECT_GE(events.ticks.size() * 2, periods) << "a loaded machine: idle calls came late";
    ASSERT_FALSE(events.ticks.empty());
    EXPECT_GE(events.ticks.front() - start, std::chrono::milliseconds(24));

    // A host that stalls for 300 ms gets one tick, then the period again.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto before = events.ticks.size();
    backend->idle();
    backend->idle();
    EXPECT_EQ(events.ticks.size(), before + 1);
    const auto stalled = events.ticks.back();
    pump(*backend, [&] { return events.ticks.size() == before + 2; });
    EXPECT_GE(events.ticks.back() - stalled, std::chrono::milliseconds(24));
}

TEST_F(X11Backend, SurvivesAHostThatDestroysItsWindowFirst) {
    Recorder events;
    auto backend = open(events);
    backend->startTimer(25);
    host.destroy(parent);
    // Before the backend has read the destruction: every request it makes
    // now fails, and the errors must stay on its own connection.
    events.canvas.fill(editor::rgb(1, 2, 3));
    backend->invalidate();
    backend->repaintNow();
    backend->setBounds(0, 0, 100, 100);
    backend->show();
    backend->hide();
    backend->idle();  // reads the DestroyNotify and the errors
    backend->invalidate();
    backend->repaintNow();
    backend->show();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto ticks = events.ticks.size();
    backend->idle();
    EXPECT_EQ(events.ticks.size(), ticks + 1) << "the timer runs on without a window";
    backend.reset();
    host.sync();
}

TEST_F(X11Backend, RefusesABadParentQuietly) {
    Recorder events;
    auto backend = editor::createWindowBackend();
    EXPECT_FALSE(backend->create(nullptr, kWidth, kHeight, &events));
    EXPECT_FALSE(backend->create(handle(0x1FFFFFF), kWidth, kHeight, &events));
    // Still usable: the calls do nothing, the timer still ticks.
    backend->show();
    backend->invalidate();
    backend->repaintNow();
    backend->startTimer(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    backend->idle();
    EXPECT_EQ(events.ticks.size(), 1u);
    EXPECT_EQ(events.frames, 0);
}

TEST_F(X11Backend, RefusesWithoutADisplay) {
    const std::string display = std::getenv("DISPLAY");
    setenv("DISPLAY", ":999", 1);
    Recorder events;
    auto backend = editor::createWindowBackend();
    EXPECT_FALSE(backend->create(handle(parent), kWidth, kHeight, &events));
    backend->show();
    backend->idle();
    setenv("DISPLAY", display.c_str(), 1);
}

TEST_F(X11Backend, TwoHundredOpenCloseCyclesLeaveNothingBehind) {
    Recorder events;
    { auto warmUp = open(events); }  // the first connection loads what stays loaded
    const int descriptors = openFileDescriptors();
    for (int i = 0; i < 200; ++i) {
        auto backend = open(events);
        backend->startTimer(25);
        backend->invalidate();
        backend->idle();
        if (i % 50 == 0) {
            ASSERT_EQ(host.children(parent).size(), 1u);
        }
    }
    EXPECT_TRUE(host.children(parent).empty());
    EXPECT_EQ(openFileDescriptors(), descriptors);
    // And the last one still worked.
    auto backend = open(events);
    EXPECT_EQ(differences(host.capture(child()), events.canvas), 0);
}

TEST_F(X11Backend, TwoEditorsAtOnceKeepToThemselves) {
    const Window otherParent = host.createTopLevel(kParentX, kParentY + 300, kWidth, kHeight);
    Recorder first, second;
    second.canvas.fill(editor::rgb(10, 200, 30));
    auto a = open(first);
    auto b = open(second, otherParent);

    host.moveTo(kParentX + 40, kParentY + 300 + 10);
    host.button(1, true);
    host.button(1, false);
    pump(*b, [&] { return second.ups.size() == 1; });
    a->idle();
    EXPECT_TRUE(first.downs.empty());
    EXPECT_EQ(second.downs.at(0).x, 40);

    a.reset();  // closing one leaves the other working
    second.canvas.fillRect({0, 0, 20, 20}, editor::rgb(255, 255, 0));
    b->invalidate();
    b->idle();
    EXPECT_TRUE(showsSoon(child(otherParent), second.canvas));
    host.moveTo(kParentX + 60, kParentY + 300 + 12);
    host.button(3, true);
    host.button(3, false);
    pump(*b, [&] { return second.ups.size() == 2; });
    EXPECT_EQ(second.downs.at(1).x, 60);
}

TEST(X11BackendDepths, PaintsOnASixteenBitScreen) {
    // A server of its own with a 5-6-5 screen; the other tests' server
    // comes back afterwards.
    const std::string display = std::getenv("DISPLAY");
    Xvfb server;
    ASSERT_TRUE(server.start("640x480x16")) << server.error();
    {
        XHost host;
        ASSERT_TRUE(host.ok());
        const Window parent = host.createTopLevel(10, 10, kWidth, kHeight);
        XWindowAttributes attributes{};
        XGetWindowAttributes(host.display(), parent, &attributes);
        ASSERT_EQ(attributes.depth, 16);
        Recorder events;
        auto backend = editor::createWindowBackend();
        ASSERT_TRUE(backend->create(handle(parent), kWidth, kHeight, &events));
        backend->show();
        const auto children = host.children(parent);
        ASSERT_EQ(children.size(), 1u);
        const Canvas shown = host.capture(children[0]);
        ASSERT_EQ(shown.width(), kWidth);
        int worst = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const Pixel want = events.canvas.at(x, y), got = shown.at(x, y);
                worst = std::max({worst, std::abs(int(editor::redOf(want)) - int(editor::redOf(got))),
                                  std::abs(int(editor::greenOf(want)) - int(editor::greenOf(got))),
                                  std::abs(int(editor::blueOf(want)) - int(editor::blueOf(got)))});
            }
        EXPECT_LE(worst, 5) << "5 bits of red and blue, 6 of green: off by half a step at most";
    }
    server.stop();
    setenv("DISPLAY", display.c_str(), 1);
}

}  // namespace
}  // namespace halvorine::test
