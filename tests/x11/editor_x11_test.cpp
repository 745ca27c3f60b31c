// The whole editor through the host interface, in a real X server: the
// built plug-in is loaded with dlopen, its editor opened in a top-level
// window of the test host, and the real pointer drives its sliders.
//
// GoogleTest and the host interface come before Xlib, whose macros (None,
// Bool, Status) would break them.
#include <gtest/gtest.h>

#include "support/plugin_host.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "assets.h"
#include "x_host.h"

#include <X11/Xatom.h>

namespace halvorine::test {
namespace {

using editor::Canvas;
using editor::Pixel;
using editor::Rect;

constexpr int kWidth = 380, kHeight = 144;  // the editor's designed size
constexpr int kLeft = 100, kTop = 120;      // the host window on the root
constexpr Rect kReadout{25, 110, 200, 23};

// Where the slider of each parameter sits in the window.
struct Slider {
    int left, top;
};
constexpr Slider kSliders[9] = {{25, 20},  {140, 20}, {260, 20}, {25, 50}, {140, 50},
                                {260, 50}, {140, 80}, {25, 80},  {260, 80}};

// The rectangle the host reads with effEditGetRect, as a host declares it.
struct HostRect {
    std::int16_t top, left, bottom, right;
};

// The plug-in loaded privately, so that closing this unloads it.
class LoadedPlugin {
public:
    LoadedPlugin() {
        handle_ = dlopen(PluginLibrary::path().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_) entry_ = reinterpret_cast<PluginEntryProc>(dlsym(handle_, "main"));
    }
    ~LoadedPlugin() { unload(); }
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    PluginEntryProc entry() const { return entry_; }
    void unload() {
        if (handle_) dlclose(handle_);
        handle_ = nullptr;
        entry_ = nullptr;
    }
    static bool resident() {
        void* h = dlopen(PluginLibrary::path().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (h) dlclose(h);
        return h != nullptr;
    }

private:
    void* handle_ = nullptr;
    PluginEntryProc entry_ = nullptr;
};

// Where the knob of a slider showing `value` starts, from the slider's left.
int knobOffset(float value) {
    return static_cast<int>(std::floor(static_cast<float>(value * 80.0f + 5.0f)));
}

// How many of the knob's own pixels are at x, y of the capture. Pixels of
// the knob that have the slider's transparent colour show the background.
int knobPixelsAt(const Canvas& capture, int x, int y, int* total = nullptr) {
    const editor::MaskedImage& knob = editor::assets::knob();
    int matching = 0, count = 0;
    for (int ky = 0; ky < knob.height(); ++ky)
        for (int kx = 0; kx < knob.width(); ++kx) {
            const Pixel p = knob.image.at(kx, ky);
            if (!knob.isOpaque(kx, ky) || p == editor::rgb(128, 128, 128)) continue;
            ++count;
            matching += capture.at(x + kx, y + ky) == p;
        }
    if (total) *total = count;
    return matching;
}

// How many pixels of the readout strip differ from its empty picture.
int readoutInk(const Canvas& capture) {
    const editor::MaskedImage& strip = editor::assets::readoutStrip();
    int ink = 0;
    for (int y = 0; y < kReadout.height; ++y)
        for (int x = 0; x < kReadout.width; ++x)
            ink += strip.isOpaque(x, y) &&
                   capture.at(kReadout.left + x, kReadout.top + y) != strip.image.at(x, y);
    return ink;
}

class X11Editor : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(x.ok());
        ASSERT_NE(plugin.entry(), nullptr) << dlerror();
        errorsBefore = globalXErrors();
    }
    void TearDown() override {
        EXPECT_EQ(globalXErrors(), errorsBefore) << "an X error reached Xlib's global handler";
    }

    AEffect* load() { return host.loadOrFail(plugin.entry()); }

    // Opens the editor in a new top-level window the size the editor asks for.
    Window openEditor(AEffect* e, int left = kLeft, int top = kTop) {
        HostRect* rect = nullptr;
        host.dispatch(e, effEditGetRect, 0, 0, &rect);
        const Window parent = x.createTopLevel(left, top, kWidth, kHeight);
        EXPECT_EQ(host.dispatch(e, effEditOpen, 0, 0, handle(parent)), 1);
        return parent;
    }
    void idle(AEffect* e) { host.dispatch(e, effEditIdle); }
    bool pump(AEffect* e, const std::function<bool()>& done) {
        return pumpUntil([&] { idle(e); }, done);
    }
    // The pointer to x, y of the editor window at left, top on the root.
    void pointTo(int wx, int wy, int left = kLeft, int top = kTop) { x.moveTo(left + wx, top + wy); }

    std::vector<HostRequest> automation(AEffect* e, int index) {
        std::vector<HostRequest> result;
        for (const HostRequest& r : host.requests())
            if (r.opcode == audioMasterAutomate && r.effect == e && r.index == index)
                result.push_back(r);
        return result;
    }

    LoadedPlugin plugin;  // outlives the host, which closes its instances
    TestHost host;
    XHost x;
    int errorsBefore = 0;
};

TEST_F(X11Editor, SlidersFollowThePointerThroughDragsPastTheEdgeAndShiftPresses) {
    AEffect* e = load();
    ASSERT_NE(e, nullptr);
    e->setParameter(e, 1, 0.3f);
    const Window parent = openEditor(e);

    HostRect* rect = nullptr;
    host.dispatch(e, effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->bottom, kHeight);
    EXPECT_EQ(rect->right, kWidth);
    // The child is there and mapped when effEditOpen returns.
    const auto children = x.children(parent);
    ASSERT_EQ(children.size(), 1u);
    XWindowAttributes attributes{};
    XGetWindowAttributes(x.display(), children[0], &attributes);
    EXPECT_EQ(attributes.map_state, IsViewable);
    for (int i = 0; i < 5; ++i) idle(e);

    // A press at X = 50 of "Hstart" sets parameter 0 to (50 - 10) / 80.
    const Slider start = kSliders[0];
    host.clearRequests();
    pointTo(start.left + 50, start.top + 6);
    x.button(1, true);
    EXPECT_TRUE(pump(e, [&] { return e->getParameter(e, 0) == 0.5f; }));
    ASSERT_EQ(automation(e, 0).size(), 1u);
    EXPECT_EQ(automation(e, 0)[0].opt, 0.5f);

    // Dragged out of the window on the left, then on the right, still held.
    pointTo(-40, start.top + 30);
    EXPECT_TRUE(pump(e, [&] { return e->getParameter(e, 0) == 0.0f; }));
    pointTo(kWidth + 50, start.top - 60);
    EXPECT_TRUE(pump(e, [&] { return e->getParameter(e, 0) == 1.0f; }));
    x.button(1, false);
    for (int i = 0; i < 5; ++i) idle(e);
    const auto drag = automation(e, 0);
    ASSERT_GE(drag.size(), 3u);
    EXPECT_EQ(drag.back().opt, 1.0f);
    for (const HostRequest& r : drag) {
        EXPECT_GE(r.opt, 0.0f);
        EXPECT_LE(r.opt, 1.0f);
    }

    // Released: moves outside change nothing any more.
    const auto requestsAfterRelease = host.requests().size();
    pointTo(kWidth + 80, start.top - 70);
    for (int i = 0; i < 10; ++i) idle(e);
    EXPECT_EQ(e->getParameter(e, 0), 1.0f);
    EXPECT_EQ(automation(e, 0).size(), drag.size());
    EXPECT_EQ(host.requests().size(), requestsAfterRelease);

    // Shift + press on "HFinish" keeps the value; the drag then moves it
    // by (X - 10) / 1000.
    const Slider finish = kSliders[1];
    pointTo(finish.left + 30, finish.top + 6);
    for (int i = 0; i < 5; ++i) idle(e);
    x.shift(true);
    x.button(1, true);
    for (int i = 0; i < 10; ++i) idle(e);
    EXPECT_EQ(e->getParameter(e, 1), 0.3f);
    EXPECT_TRUE(automation(e, 1).empty());
    pointTo(finish.left + 60, finish.top + 6);
    EXPECT_TRUE(pump(e, [&] { return !automation(e, 1).empty(); }));
    x.button(1, false);
    x.shift(false);
    for (int i = 0; i < 5; ++i) idle(e);
    EXPECT_NEAR(e->getParameter(e, 1), 0.35f, 1e-6f);
    EXPECT_EQ(automation(e, 1).size(), 1u);

    // A right press changes nothing; hovering "HQ" shows its readout.
    const Slider q = kSliders[2];
    const float qBefore = e->getParameter(e, 2);
    pointTo(q.left + 70, q.top + 6);
    x.button(3, true);
    x.button(3, false);
    for (int i = 0; i < 10; ++i) idle(e);
    EXPECT_EQ(e->getParameter(e, 2), qBefore);
    EXPECT_TRUE(automation(e, 2).empty());

    // What the window shows: the knobs where the values put them, and
    // text on the readout strip.
    // (The server serves each connection in its own turn, so the last
    // picture may reach the host's connection a moment after idle.)
    pointTo(kWidth + 100, kHeight + 100);
    int knobPixels = 0;
    knobPixelsAt(Canvas(9, 9), 0, 0, &knobPixels);
    ASSERT_GT(knobPixels, 20);
    Canvas capture;
    pump(e, [&] {
        capture = x.capture(children[0]);
        return capture.width() == kWidth &&
               knobPixelsAt(capture, start.left + knobOffset(1.0f), start.top + 2) == knobPixels &&
               readoutInk(capture) > 40;
    });
    ASSERT_EQ(capture.width(), kWidth);
    ASSERT_EQ(capture.height(), kHeight);
    EXPECT_TRUE(writePng("editor-x11.png", capture));
    for (int i = 0; i < 9; ++i) {
        const float v = e->getParameter(e, i);
        const Slider s = kSliders[i];
        EXPECT_EQ(knobPixelsAt(capture, s.left + knobOffset(v), s.top + 2), knobPixels)
            << "no knob of parameter " << i << " (" << v << ") where its value puts it";
    }
    EXPECT_LT(knobPixelsAt(capture, start.left + knobOffset(0.5f), start.top + 2), knobPixels / 2)
        << "the knob of parameter 0 stayed where the press put it";
    EXPECT_LT(knobPixelsAt(capture, finish.left + knobOffset(0.3f), finish.top + 2), knobPixels / 2);

    EXPECT_GT(readoutInk(capture), 40) << "the readout strip shows no text";

    host.dispatch(e, effEditClose);
    EXPECT_TRUE(x.children(parent).empty());
}

// The wheel, Ctrl-click and double-click with the real pointer: each wheel
// burst and each reset reaches the host as one gesture of automation, and
// the readout shows a wheeled value as a drag to it does.
TEST_F(X11Editor, TheWheelAndResetsReachTheHostAsGestures) {
    AEffect* e = load();
    ASSERT_NE(e, nullptr);
    e->setParameter(e, 8, 0.5f);
    const Window parent = openEditor(e);
    const Window editor = x.children(parent).at(0);
    const Slider boost = kSliders[8], mix = kSliders[7];
    const auto edits = [&] {
        std::vector<std::pair<VstInt32, float>> out;  // opcode, index (automate: its value)
        for (const HostRequest& r : host.requests())
            if (r.opcode == audioMasterBeginEdit || r.opcode == audioMasterEndEdit)
                out.emplace_back(r.opcode, static_cast<float>(r.index));
            else if (r.opcode == audioMasterAutomate)
                out.emplace_back(r.opcode, r.opt);
        return out;
    };
    using G = std::vector<std::pair<VstInt32, float>>;
    constexpr VstInt32 kBegin = audioMasterBeginEdit, kEnd = audioMasterEndEdit, kSet = audioMasterAutomate;
    const auto click = [&](unsigned button) {
        x.button(button, true);
        x.button(button, false);
    };
    const auto readout = [&] {
        Canvas shown = x.capture(editor), strip(kReadout.width, kReadout.height);
        strip.copyRect(shown, kReadout, 0, 0);
        return strip;
    };
    const auto same = [](const Canvas& a, const Canvas& b) {
        for (int y = 0; y < kReadout.height; ++y)
            for (int x1 = 0; x1 < kReadout.width; ++x1)
                if (a.at(x1, y) != b.at(x1, y)) return false;
        return true;
    };
    const auto settled = [&](const std::function<bool()>& done, int line) {
        EXPECT_TRUE(pump(e, done)) << "line " << line;
        for (int i = 0; i < 5; ++i) idle(e);
    };

    pointTo(boost.left + 50, boost.top + 6);
    settled([&] { return true; }, __LINE__);
    const Canvas before = readout();
    host.clearRequests();
    for (int i = 0; i < 5; ++i) click(4);
    settled([&] { return !edits().empty() && edits().back().first == kEnd; }, __LINE__);
    EXPECT_EQ(edits(), (G{{kBegin, 8}, {kSet, 0.51f}, {kSet, 0.52f}, {kSet, 0.53f}, {kSet, 0.54f},
                          {kSet, 0.55f}, {kEnd, 8}}));
    EXPECT_EQ(e->getParameter(e, 8), 0.55f);
    Canvas wheeled;
    EXPECT_TRUE(pump(e, [&] { return !same(wheeled = readout(), before); }));
    host.clearRequests();
    x.shift(true);
    click(5);
    x.shift(false);
    settled([&] { return edits().size() == 3; }, __LINE__);
    EXPECT_EQ(edits(), (G{{kBegin, 8}, {kSet, 0.549f}, {kEnd, 8}}));

    // A press that drags Boost to the same value shows the same readout.
    pointTo(boost.left + 54, boost.top + 6);
    x.button(1, true);
    settled([&] { return e->getParameter(e, 8) == 0.55f; }, __LINE__);
    EXPECT_TRUE(pump(e, [&] { return same(readout(), wheeled); })) << "the wheel's readout is not a drag's";
    x.button(1, false);
    settled([&] { return !edits().empty() && edits().back().first == kEnd; }, __LINE__);

    // Ctrl-click on Boost, a double-click on Mix: each to its default.
    host.clearRequests();
    pointTo(boost.left + 90, boost.top + 6);
    x.control(true);
    click(1);
    x.control(false);
    pointTo(mix.left + 20, mix.top + 6);
    click(1);
    click(1);
    settled([&] { return edits().size() == 9; }, __LINE__);
    EXPECT_EQ(edits(), (G{{kBegin, 8}, {kSet, 0.75f}, {kEnd, 8},
                          {kBegin, 7}, {kSet, 0.125f}, {kEnd, 7},
                          {kBegin, 7}, {kSet, 0.5f}, {kEnd, 7}}));
    EXPECT_EQ(e->getParameter(e, 8), 0.75f);
    EXPECT_EQ(e->getParameter(e, 7), 0.5f);

    // A wheel over no slider changes nothing.
    host.clearRequests();
    pointTo(5, 5);
    click(4);
    for (int i = 0; i < 20; ++i) idle(e);
    EXPECT_TRUE(edits().empty());
    host.dispatch(e, effEditClose);
}

// The host hides its window mid-drag and the button goes up elsewhere: the
// drag and its gesture end, and hovering afterwards sets nothing.
TEST_F(X11Editor, ADragEndsWhenTheButtonDoesThoughTheReleaseWentElsewhere) {
    AEffect* e = load();
    ASSERT_NE(e, nullptr);
    const Window parent = openEditor(e);
    for (int i = 0; i < 5; ++i) idle(e);
    const Slider start = kSliders[0];
    const auto requests = [&](VstInt32 opcode) {
        int n = 0;
        for (const HostRequest& r : host.requests()) n += r.opcode == opcode && r.index == 0;
        return n;
    };
    for (const bool hideFirst : {true, false}) {
        host.clearRequests();
        pointTo(start.left + 50, start.top + 6);
        x.button(1, true);
        EXPECT_TRUE(pump(e, [&] { return e->getParameter(e, 0) == 0.5f; }));
        XUnmapWindow(x.display(), parent);
        if (hideFirst) {  // the editor hears of the hiding while the button is down
            x.sync();
            for (int i = 0; i < 5; ++i) idle(e);
        }
        pointTo(kWidth + 200, kHeight + 200);
        x.button(1, false);
        XMapWindow(x.display(), parent);
        x.sync();
        for (int i = 0; i < 10; ++i) idle(e);
        pointTo(start.left + 80, start.top + 6);
        for (int i = 0; i < 5; ++i) idle(e);
        pointTo(start.left + 85, start.top + 6);
        EXPECT_TRUE(pump(e, [&] { return requests(audioMasterEndEdit) > 0; })) << hideFirst;
        for (int i = 0; i < 10; ++i) idle(e);
        EXPECT_EQ(e->getParameter(e, 0), 0.5f) << hideFirst;
        EXPECT_EQ(requests(audioMasterAutomate), 1) << hideFirst;
        EXPECT_EQ(requests(audioMasterBeginEdit), 1) << hideFirst;
        EXPECT_EQ(requests(audioMasterEndEdit), 1) << hideFirst;
    }
    host.dispatch(e, effEditClose);
}

// The editor at factors 1, 2 and 3, each from another of its sources: its
// size, every pixel outside the readout an exact enlargement of the 1x
// picture, text rendered anew rather than enlarged, and a drag that lands
// where the pointer is.
TEST_F(X11Editor, DrawsAtTheScaleOfEachSource) {
    AEffect* e = load();
    ASSERT_NE(e, nullptr);
    const Window root = DefaultRootWindow(x.display());
    const auto resources = [&](const char* text) {
        if (text)
            XChangeProperty(x.display(), root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
        else
            XDeleteProperty(x.display(), root, XA_RESOURCE_MANAGER);
        x.sync();
    };
    const struct {
        const char* source;
        int scale;
        float hostFactor;       // the VST 2 scale call's, 0 for none
        const char* forced;     // HALVORINE_SCALE
        const char* resources;  // the server's resource database
        const char* gdk;        // GDK_SCALE
    } cases[] = {
        {"nothing", 1, 0.0f, nullptr, nullptr, nullptr},
        {"the host", 2, 2.0f, nullptr, "Xft.dpi:\t288\n", "3"},
        {"Xft.dpi", 2, 0.0f, nullptr, "Xft.foo:\t1\nXft.dpi:\t192\n", "3"},
        {"GDK_SCALE", 3, 0.0f, nullptr, nullptr, "3"},
        {"HALVORINE_SCALE", 3, 2.0f, "3", "Xft.dpi:\t192\n", nullptr},
    };
    const Slider start = kSliders[0];
    Canvas one;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const int s = c.scale;
        host.dispatch(e, effVendorSpecific, 0x50726553, 0x41654373, nullptr, c.hostFactor);
        c.forced ? setenv("HALVORINE_SCALE", c.forced, 1) : unsetenv("HALVORINE_SCALE");
        c.gdk ? setenv("GDK_SCALE", c.gdk, 1) : unsetenv("GDK_SCALE");
        resources(c.resources);

        HostRect* rect = nullptr;
        host.dispatch(e, effEditGetRect, 0, 0, &rect);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->right, kWidth * s);
        EXPECT_EQ(rect->bottom, kHeight * s);
        pointTo(-50, -50);
        const Window parent = x.createTopLevel(kLeft, kTop, kWidth * s, kHeight * s);
        ASSERT_EQ(host.dispatch(e, effEditOpen, 0, 0, handle(parent)), 1);
        const auto children = x.children(parent);
        ASSERT_EQ(children.size(), 1u);
        XWindowAttributes attributes{};
        XGetWindowAttributes(x.display(), children[0], &attributes);
        EXPECT_EQ(attributes.width, kWidth * s);
        EXPECT_EQ(attributes.height, kHeight * s);

        Canvas shown;
        pump(e, [&] {
            shown = x.capture(children[0]);
            return shown.width() == kWidth * s && readoutInk(one.empty() ? shown : one) > 40;
        });
        ASSERT_EQ(shown.width(), kWidth * s);
        ASSERT_EQ(shown.height(), kHeight * s);
        if (s == 1) one = shown;
        if (s < 3) {  // the README's pictures
            EXPECT_TRUE(writePng("editor-x11-" + std::to_string(s) + "x.png", shown));
        }
        int unlike = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x1 = 0; x1 < shown.width(); ++x1) {
                const int ux = x1 / s, uy = y / s;
                const bool readout = ux >= kReadout.left && ux < kReadout.left + kReadout.width &&
                                     uy >= kReadout.top && uy < kReadout.top + kReadout.height;
                if (readout) {
                    unlike += shown.at(x1, y) != one.at(ux, uy);
                } else {
                    ASSERT_EQ(shown.at(x1, y), one.at(ux, uy)) << x1 << "," << y;
                }
            }
        if (s > 1) {
            EXPECT_GT(unlike, 20 * s) << "the readout's text is the 1x text enlarged";
        }

        // A press at X = 50 of "Hstart", dragged to X = 70, in screen pixels.
        pointTo((start.left + 50) * s + s - 1, (start.top + 6) * s);
        x.button(1, true);
        EXPECT_TRUE(pump(e, [&] { return e->getParameter(e, 0) == 0.5f; }));
        pointTo((start.left + 70) * s, (start.top + 12) * s + s - 1);
        EXPECT_TRUE(pump(e, [&] { return e->getParameter(e, 0) == 0.75f; }));
        x.button(1, false);
        for (int i = 0; i < 5; ++i) idle(e);
        e->setParameter(e, 0, 0.0f);
        host.dispatch(e, effEditClose);
        x.destroy(parent);
    }
    unsetenv("HALVORINE_SCALE");
    unsetenv("GDK_SCALE");

    // The desktop's scale changes while the editor is open: it resizes and
    // asks the host to.
    host.dispatch(e, effVendorSpecific, 0x50726553, 0x41654373, nullptr, 0.0f);
    resources("Xft.dpi:\t96\n");
    const Window parent = openEditor(e);
    host.clearRequests();
    resources("Xft.dpi:\t192\n");
    EXPECT_TRUE(pump(e, [&] {
        XWindowAttributes attributes{};
        const auto children = x.children(parent);
        return children.size() == 1 && XGetWindowAttributes(x.display(), children[0], &attributes) &&
               attributes.width == kWidth * 2 && attributes.height == kHeight * 2;
    }));
    bool asked = false;
    for (const HostRequest& r : host.requests())
        asked |= r.opcode == audioMasterSizeWindow && r.index == kWidth * 2 && r.value == kHeight * 2;
    EXPECT_TRUE(asked);
    host.dispatch(e, effEditClose);
    resources(nullptr);
}

TEST_F(X11Editor, AHostThatDestroysItsWindowBeforeClosingTheEditor) {
    AEffect* e = load();
    ASSERT_NE(e, nullptr);
    // Destroyed, read by an idle call, then closed.
    Window parent = openEditor(e);
    for (int i = 0; i < 5; ++i) idle(e);
    x.destroy(parent);
    for (int i = 0; i < 5; ++i) idle(e);
    e->setParameter(e, 3, 0.7f);
    for (int i = 0; i < 5; ++i) idle(e);
    host.dispatch(e, effEditClose);

    // Destroyed and closed at once, with no idle call in between.
    parent = openEditor(e);
    x.destroy(parent);
    host.dispatch(e, effEditClose);

    // The editor opens again as new.
    parent = openEditor(e);
    pointTo(kSliders[3].left + 90, kSliders[3].top + 6);
    x.button(1, true);
    x.button(1, false);
    EXPECT_TRUE(pump(e, [&] { return e->getParameter(e, 3) == 1.0f; }));
    host.dispatch(e, effEditClose);
    x.sync();
}

TEST_F(X11Editor, HundredsOfOpenCloseCycles) {
    AEffect* e = load();
    ASSERT_NE(e, nullptr);
    const Window parent = x.createTopLevel(kLeft, kTop, kWidth, kHeight);
    // The first editor loads what stays loaded (fonts, configuration).
    host.dispatch(e, effEditOpen, 0, 0, handle(parent));
    host.dispatch(e, effEditClose);
    const int descriptors = openFileDescriptors();
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(host.dispatch(e, effEditOpen, 0, 0, handle(parent)), 1);
        idle(e);
        host.dispatch(e, effEditClose);
    }
    EXPECT_TRUE(x.children(parent).empty());
    EXPECT_EQ(openFileDescriptors(), descriptors);
}

TEST_F(X11Editor, TwoInstancesWithEditorsOpenAtOnce) {
    AEffect* a = load();
    AEffect* b = load();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    openEditor(a, kLeft, kTop);
    openEditor(b, kLeft, kTop + 250);
    const float bBefore = b->getParameter(b, 7);

    host.clearRequests();
    const Slider mix = kSliders[7];
    pointTo(mix.left + 10, mix.top + 6, kLeft, kTop);
    x.button(1, true);
    x.button(1, false);
    EXPECT_TRUE(pump(a, [&] {
        idle(b);
        return a->getParameter(a, 7) == 0.0f;
    }));
    pointTo(mix.left + 90, mix.top + 6, kLeft, kTop + 250);
    x.button(1, true);
    x.button(1, false);
    EXPECT_TRUE(pump(b, [&] {
        idle(a);
        return b->getParameter(b, 7) == 1.0f;
    }));
    EXPECT_EQ(a->getParameter(a, 7), 0.0f);
    EXPECT_NE(bBefore, 1.0f);
    EXPECT_EQ(automation(a, 7).size(), 1u);
    EXPECT_EQ(automation(b, 7).size(), 1u);

    host.dispatch(a, effEditClose);  // one closes, the other goes on
    for (int i = 0; i < 5; ++i) idle(b);
    pointTo(mix.left + 50, mix.top + 6, kLeft, kTop + 250);
    x.button(1, true);
    x.button(1, false);
    EXPECT_TRUE(pump(b, [&] { return b->getParameter(b, 7) == 0.5f; }));
    host.dispatch(b, effEditClose);
}

TEST(X11EditorLibrary, UnloadsAndLoadsAgainWithTheEditorUsed) {
    XHost x;
    ASSERT_TRUE(x.ok());
    const int errors = globalXErrors();
    const Window parent = x.createTopLevel(kLeft, kTop, kWidth, kHeight);
    for (int round = 0; round < 3; ++round) {
        LoadedPlugin plugin;
        ASSERT_NE(plugin.entry(), nullptr) << dlerror();
        {
            TestHost host;
            AEffect* e = host.loadOrFail(plugin.entry());
            ASSERT_NE(e, nullptr);
            host.dispatch(e, effEditOpen, 0, 0, handle(parent));
            x.moveTo(kLeft + kSliders[0].left + 30, kTop + kSliders[0].top + 6);
            x.button(1, true);
            x.button(1, false);
            EXPECT_TRUE(pumpUntil([&] { host.dispatch(e, effEditIdle); },
                                  [&] { return e->getParameter(e, 0) == 0.25f; }));
            host.dispatch(e, effEditClose);
        }  // effClose
        plugin.unload();
        EXPECT_FALSE(LoadedPlugin::resident()) << "the library stayed loaded";
    }
    EXPECT_EQ(globalXErrors(), errors);
}

}  // namespace
}  // namespace halvorine::test
