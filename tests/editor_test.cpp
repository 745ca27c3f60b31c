// The editor with the headless backend: the binding's life cycle, the
// press/drag/release state machine, what reaches the host as automation,
// the readouts, and redrawing. The effect is linked in and reached through
// its record, as a host reaches it.
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "APluginEditor.h"
#include "assets.h"
#include "backend_headless.h"
#include "dsp/numeric.h"
#include "parameter_table.h"
#include "parameter_text.h"
#include "support/plugin_host.h"
#include "uPlugin.h"

using namespace halvorine::test;
using namespace halvorine::editor;
using namespace halvorine::engine;

namespace {

AEffect* VSTCALLBACK linkedMain(audioMasterCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    return createEffectInstance(host)->getAeffect();
}

// Sets HALVORINE_SCALE, or removes it.
void forceScale(const char* value) {
#ifdef _WIN32
    _putenv_s("HALVORINE_SCALE", value ? value : "");
#else
    if (value)
        setenv("HALVORINE_SCALE", value, 1);
    else
        unsetenv("HALVORINE_SCALE");
#endif
}

// Slider places in the window, by parameter index.
struct Place {
    int left, top;
};
constexpr Place kSlider[9] = {{25, 20},  {140, 20}, {260, 20}, {25, 50}, {140, 50},
                              {260, 50}, {140, 80}, {25, 80},  {260, 80}};

class Editor : public ::testing::Test {
protected:
    void SetUp() override { e = host.loadOrFail(&linkedMain); }

    APluginEditor& binding() {
        return *static_cast<APluginEditor*>(static_cast<AudioEffect*>(e->object)->getEditor());
    }
    void open() { ASSERT_EQ(host.dispatch(e, effEditOpen, 0, 0, &parent), 1); }
    void close() { host.dispatch(e, effEditClose); }
    HeadlessBackend& screen() { return *HeadlessBackend::live().back(); }
    TPluginEditorWindow& window() { return *binding().window(); }
    float get(int i) { return e->getParameter(e, i); }

    // Mouse actions at X pixels from a slider's left edge.
    void press(int index, int x, MouseButton b = MouseButton::Left, bool shift = false) {
        screen().press(kSlider[index].left + x, kSlider[index].top + 6, b, shift);
    }
    void move(int index, int x) { screen().move(kSlider[index].left + x, kSlider[index].top + 6); }
    void release(int index, int x, MouseButton b = MouseButton::Left) {
        screen().release(kSlider[index].left + x, kSlider[index].top + 6, b);
    }

    std::vector<HostRequest> automation() {
        std::vector<HostRequest> out;
        for (const auto& r : host.requests())
            if (r.opcode == audioMasterAutomate) out.push_back(r);
        return out;
    }

    TestHost host;
    AEffect* e = nullptr;
    int parent = 0;  // stands for the host's window
};

}  // namespace

TEST_F(Editor, RectangleBeforeAndAfterOpening) {
    ERect* r = nullptr;
    EXPECT_EQ(host.dispatch(e, effEditGetRect, 0, 0, &r), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->top, 0);
    EXPECT_EQ(r->left, 0);
    // The window's real size, before it exists as after: hosts size their
    // frame from it before opening.
    for (int round = 0; round < 3; ++round) {
        if (round == 1) open();
        if (round == 2) close();
        ERect* again = nullptr;
        host.dispatch(e, effEditGetRect, 0, 0, &again);
        EXPECT_EQ(again, r);  // the same record every time
        EXPECT_EQ(r->bottom, 144) << round;
        EXPECT_EQ(r->right, 380) << round;
    }
}

// Hosts record touch automation between the begin and end of a gesture:
// begin on the press, end exactly once on the release or when the window
// goes mid-drag.
TEST_F(Editor, DragsAreBracketedByBeginAndEndEdit) {
    const auto gestures = [&] {
        std::vector<std::pair<VstInt32, VstInt32>> out;  // opcode, index
        for (const auto& r : host.requests())
            if (r.opcode != audioMasterGetTime) out.emplace_back(r.opcode, r.index);
        return out;
    };
    using G = std::vector<std::pair<VstInt32, VstInt32>>;
    open();
    host.clearRequests();
    press(4, 30);
    move(4, 50);
    release(4, 50);
    release(4, 50);  // a second release ends nothing
    EXPECT_EQ(gestures(), (G{{audioMasterBeginEdit, 4}, {audioMasterAutomate, 4},
                             {audioMasterAutomate, 4}, {audioMasterEndEdit, 4}}));
    host.clearRequests();
    press(2, 40, MouseButton::Right);  // no gesture from other buttons
    release(2, 40);
    EXPECT_TRUE(gestures().empty());
    press(6, 40, MouseButton::Left, true);  // a fine drag, closed mid-way
    move(6, 45);
    close();
    EXPECT_EQ(gestures(), (G{{audioMasterBeginEdit, 6}, {audioMasterAutomate, 6},
                             {audioMasterEndEdit, 6}}));
}

// A wheel notch over a slider steps it 1% of its range up or down (0.1%
// with Shift; the shift one band either way), clamped, from where the last
// notch left it; the readout shows each value.
TEST_F(Editor, TheWheelStepsTheSliderUnderThePointer) {
    const struct {
        int index;
        float from;
        int notches;
        bool shift;
        float value;
        const char* readout;
    } cases[] = {
        {7, 0.5f, 3, false, 0.53f, "Mix :: M/C : 100%/94"},
        {8, 0.75f, -2, true, 0.748f, "Ring Boost :: 9.9dB"},
        {2, 0.0f, -1, false, 0.0f, "Mod Q :: 0%"},
        {1, 0.995f, 1, false, 1.0f, "Mod End Freq :: 20.5KHz"},
        {0, 0.37f, 100, false, 1.0f, "Mod Start Freq :: 20.5KHz"},
        {0, 1.0f, -63, false, 0.37f, "Mod Start Freq :: 260Hz"},  // lands on the grid
        {6, 0.5f, 2, false, 33.5f / 63.0f, "Shift  :: 33"},       // whole bands
        {6, 0.5f, -3, true, 28.5f / 63.0f, "Shift  :: 28"},
        {6, 0.99f, 1, false, 1.0f, "Shift  :: 63"},
    };
    open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.readout);
        e->setParameter(e, c.index, c.from);
        screen().tick();
        host.clearRequests();
        const int step = c.notches > 0 ? 1 : -1;
        for (int n = 0; n != c.notches; n += step)
            EXPECT_TRUE(screen().wheel(kSlider[c.index].left + 50, kSlider[c.index].top + 6, step, c.shift));
        EXPECT_EQ(get(c.index), c.value);
        EXPECT_EQ(automation().size(), static_cast<std::size_t>(std::abs(c.notches)));
        EXPECT_EQ(screen().texts.back(), c.readout);
        for (int i = 0; i < TPluginEditorWindow::kWheelQuietTicks; ++i) screen().tick();
    }
    // Over no slider, and while the left button drags one: nothing.
    host.clearRequests();
    EXPECT_FALSE(screen().wheel(5, 5, 1));
    press(3, 30);
    screen().wheel(kSlider[3].left + 30, kSlider[3].top + 6, 5);
    release(3, 30);
    EXPECT_EQ(get(3), 0.25f);
    EXPECT_EQ(automation().size(), 1u);
}

// A burst of notches on one slider is one gesture: it ends
// kWheelQuietTicks timer ticks after the last notch, at a press, or where
// a notch on another slider begins another. Ctrl-click and double-click
// set the default in a gesture of their own; a drag after them moves
// nothing, and the first click of a double-click acts as a press.
TEST_F(Editor, WheelBurstsAndResetsAreGesturesOfTheirOwn) {
    const auto gestures = [&] {
        std::vector<std::pair<VstInt32, float>> out;  // opcode (automate: its value), index
        for (const auto& r : host.requests())
            if (r.opcode == audioMasterBeginEdit || r.opcode == audioMasterEndEdit)
                out.emplace_back(r.opcode, static_cast<float>(r.index));
            else if (r.opcode == audioMasterAutomate)
                out.emplace_back(r.opcode, r.opt);
        return out;
    };
    using G = std::vector<std::pair<VstInt32, float>>;
    constexpr VstInt32 kBegin = audioMasterBeginEdit, kEnd = audioMasterEndEdit, kSet = audioMasterAutomate;
    const auto wheel = [&](int index, int notches) {
        screen().wheel(kSlider[index].left + 20, kSlider[index].top + 4, notches);
    };
    open();
    e->setParameter(e, 2, 0.5f);
    e->setParameter(e, 5, 0.2f);
    screen().tick();
    host.clearRequests();
    for (int notch = 0; notch < 3; ++notch) {
        wheel(2, 1);
        for (int i = 1; i < TPluginEditorWindow::kWheelQuietTicks; ++i) screen().tick();
    }
    for (int i = 1; i < TPluginEditorWindow::kWheelQuietTicks; ++i) screen().tick();
    wheel(2, -2);
    wheel(5, 1);
    press(5, 40, MouseButton::Right);
    EXPECT_EQ(gestures(), (G{{kBegin, 2}, {kSet, 0.51f}, {kSet, 0.52f}, {kSet, 0.53f}, {kEnd, 2},
                             {kBegin, 2}, {kSet, 0.51f}, {kEnd, 2},
                             {kBegin, 5}, {kSet, 0.21f}, {kEnd, 5}}));

    host.clearRequests();
    screen().press(kSlider[5].left + 70, kSlider[5].top + 6, MouseButton::Left, ShiftState{false, true, false});
    move(5, 90);
    release(5, 90);
    press(8, 30);  // the first click of a double-click
    release(8, 30);
    screen().press(kSlider[8].left + 30, kSlider[8].top + 6, MouseButton::Left, ShiftState{false, false, true});
    EXPECT_EQ(screen().texts.back(), "Ring Boost :: 10dB");
    move(8, 90);
    release(8, 90);
    EXPECT_EQ(gestures(), (G{{kBegin, 5}, {kSet, 0.5f}, {kEnd, 5},
                             {kBegin, 8}, {kSet, 0.25f}, {kEnd, 8},
                             {kBegin, 8}, {kSet, 0.75f}, {kEnd, 8}}));
    EXPECT_EQ(get(5), parameterInfo(5).defaultValue);
    EXPECT_EQ(get(8), parameterInfo(8).defaultValue);
}

TEST_F(Editor, OpeningMakesAVisibleChildWindowWithATimer) {
    open();
    ASSERT_EQ(HeadlessBackend::live().size(), 1u);
    EXPECT_EQ(screen().parent, &parent);
    EXPECT_EQ(screen().bounds.left, 0);
    EXPECT_EQ(screen().bounds.top, 0);
    EXPECT_EQ(screen().bounds.width, 380);
    EXPECT_EQ(screen().bounds.height, 144);
    EXPECT_TRUE(screen().visible);
    EXPECT_EQ(screen().timerPeriod, 25);
    EXPECT_EQ(window().sliderDraws(), 9);  // every slider drawn once on opening
    ASSERT_FALSE(screen().texts.empty());
    EXPECT_EQ(screen().texts.front(), "Halvorine : Pellowmark :: ");
    EXPECT_EQ(screen().screen().width(), 380);
}

TEST_F(Editor, OpenCountAndClosing) {
    auto& plugin = *static_cast<APlugin*>(static_cast<AudioEffect*>(e->object));
    close();  // without an open
    EXPECT_TRUE(plugin.editorClosed);
    EXPECT_EQ(binding().openCount(), 0);
    open();
    EXPECT_FALSE(plugin.editorClosed);
    open();
    EXPECT_EQ(binding().openCount(), 2);
    EXPECT_EQ(HeadlessBackend::live().size(), 1u);  // the second open makes no new window
    close();
    ASSERT_NE(binding().window(), nullptr);  // only hidden
    EXPECT_FALSE(screen().visible);
    EXPECT_EQ(binding().openCount(), 1);
    close();
    EXPECT_EQ(binding().window(), nullptr);
    EXPECT_TRUE(HeadlessBackend::live().empty());
    EXPECT_TRUE(plugin.editorClosed);
    close();
    EXPECT_EQ(binding().openCount(), 0);
}

TEST_F(Editor, ReopeningShowsTheCurrentValues) {
    open();
    close();
    e->setParameter(e, 4, 0.25f);
    open();
    EXPECT_EQ(window().paramValues[4].load(), 0.25f);
    EXPECT_EQ(window().sliderDraws(), 9);
}

TEST_F(Editor, AbsolutePressesSetTheValueAtOnce) {
    open();
    const struct { int x; float value; } presses[] = {
        {10, 0.0f}, {0, 0.0f}, {90, 1.0f}, {99, 1.0f}, {50, 0.5f}, {11, 0.0125f}};
    for (auto p : presses) {
        host.clearRequests();
        press(0, p.x);
        release(0, p.x);
        EXPECT_EQ(get(0), p.value) << p.x;
        const auto automate = automation();
        ASSERT_EQ(automate.size(), 1u);
        EXPECT_EQ(automate[0].index, 0);
        EXPECT_EQ(automate[0].opt, p.value);
        EXPECT_EQ(automate[0].effect, e);
    }
}

TEST_F(Editor, DraggingFollowsThePointerAndClampsOutsideTheSlider) {
    open();
    press(7, 30);  // "Mix", in the third row
    EXPECT_EQ(get(7), 0.25f);
    move(7, 70);
    EXPECT_EQ(get(7), 0.75f);
    move(7, 500);  // far outside the window: still captured
    EXPECT_EQ(get(7), 1.0f);
    move(7, -300);
    EXPECT_EQ(get(7), 0.0f);
    EXPECT_EQ(automation().size(), 4u);  // the press and each move
    release(7, -300);
    EXPECT_FALSE(window().dragging);
    host.clearRequests();
    move(7, 70);  // no button held: only the readout
    EXPECT_EQ(get(7), 0.0f);
    EXPECT_TRUE(automation().empty());
}

TEST_F(Editor, ShiftDragsInFineSteps) {
    open();
    e->setParameter(e, 8, 0.5f);
    window().Timer2Timer();
    host.clearRequests();
    press(8, 80, MouseButton::Left, true);
    EXPECT_EQ(get(8), 0.5f);  // the press itself changes nothing
    EXPECT_TRUE(automation().empty());
    move(8, 60);
    EXPECT_FLOAT_EQ(get(8), 0.55f);
    move(8, 0);
    EXPECT_FLOAT_EQ(get(8), 0.49f);
    move(8, 1000);
    EXPECT_EQ(get(8), 1.0f);
    move(8, -1000);
    EXPECT_EQ(get(8), 0.0f);
    EXPECT_EQ(automation().size(), 4u);
    release(8, 0);
}

TEST_F(Editor, OtherButtonsAndSecondPressesAreIgnored) {
    open();
    host.clearRequests();
    press(2, 50, MouseButton::Right);
    move(2, 80);
    release(2, 80);
    EXPECT_EQ(get(2), 0.5f);
    EXPECT_TRUE(automation().empty());
    press(1, 10);  // "Mod Finish" to 0, held
    screen().press(kSlider[5].left + 90, kSlider[5].top + 6, MouseButton::Left, false);
    EXPECT_EQ(get(5), 0.5f);  // the press on another slider did nothing
    EXPECT_EQ(get(1), 0.0f);
    press(4, 50, MouseButton::Right);  // a right click mid-drag leaves the drag going
    release(4, 50, MouseButton::Right);
    move(1, 50);
    EXPECT_EQ(get(1), 0.5f);
    EXPECT_NE(get(4), 0.5f);
    release(1, 50);
    press(2, 90, MouseButton::Right);  // held while the left button presses elsewhere
    press(0, 90);
    EXPECT_EQ(get(0), 1.0f);
    EXPECT_EQ(get(2), 0.5f);
    release(0, 90);
    release(2, 90, MouseButton::Right);
    EXPECT_FALSE(window().dragging);
}

TEST_F(Editor, HostChangesMoveSlidersOnTheNextTickButNotTheReadout) {
    open();
    press(3, 50);  // puts "Carr Start Freq" in the readout
    release(3, 50);
    const std::size_t texts = screen().texts.size();
    const int draws = window().sliderDraws();
    screen().tick();
    EXPECT_EQ(window().sliderDraws(), draws);  // nothing changed, nothing drawn
    e->setParameter(e, 6, 0.9f);
    screen().tick();
    EXPECT_EQ(window().sliderDraws(), draws + 1);  // only the changed slider
    host.dispatch(e, effSetProgram, 0, 2);  // back to 0.5 on slider 6, and 3 back to 0
    screen().tick();
    EXPECT_EQ(window().sliderDraws(), draws + 3);
    EXPECT_EQ(screen().texts.size(), texts);  // readout untouched by outside changes
}

TEST_F(Editor, HoveringShowsTheReadout) {
    open();
    e->setParameter(e, 7, 0.25f);
    screen().move(kSlider[7].left + 5, kSlider[7].top + 3);
    EXPECT_EQ(screen().texts.back(), "Mix :: M/C : 50%/100");
    screen().move(kSlider[6].left + 5, kSlider[6].top + 3);
    EXPECT_EQ(screen().texts.back(), "Shift  :: 31");
    screen().move(kSlider[5].left + 5, kSlider[5].top + 3);
    EXPECT_EQ(screen().texts.back(), " Carr Q :: 50%");
    screen().move(kSlider[8].left + 5, kSlider[8].top + 3);
    EXPECT_EQ(screen().texts.back(), "Ring Boost :: 10dB");
    screen().move(kSlider[0].left + 5, kSlider[0].top + 3);
    EXPECT_EQ(screen().texts.back(), "Mod Start Freq :: 20Hz");
    screen().move(kSlider[1].left + 5, kSlider[1].top + 3);
    EXPECT_EQ(screen().texts.back(), "Mod End Freq :: 20.5KHz");
    const std::size_t count = screen().texts.size();
    screen().move(5, 5);  // over the background: nothing
    EXPECT_EQ(screen().texts.size(), count);
}

TEST_F(Editor, KnobSitsWhereTheValueSays) {
    open();
    const MaskedImage& knob = assets::knob();
    for (float v : {0.0f, 0.5f, 1.0f}) {
        e->setParameter(e, 0, v);
        screen().tick();
        screen().repaintNow();
        const int x = v == 0.0f ? 5 : v == 0.5f ? 45 : 85;
        for (int ky = 0; ky < knob.height(); ++ky)
            for (int kx = 0; kx < knob.width(); ++kx)
                if (knob.isOpaque(kx, ky)) {
                    ASSERT_EQ(screen().screen().at(kSlider[0].left + x + kx, kSlider[0].top + 2 + ky),
                              knob.image.at(kx, ky))
                        << v << " at " << kx << "," << ky;
                }
    }
}

// The host's scale call: the editor's size before and after opening, the
// pointer mapped back to the slider under it, and a new factor while open
// resizing the window and asking the host for the new size. (The pixels at
// each factor are checked in the X11 and Win32 tests.)
TEST_F(Editor, FollowsTheHostsScaleCall) {
    const auto scaleCall = [&](float factor) {
        return host.dispatch(e, effVendorSpecific, APluginEditor::kScaleCallIndex,
                             APluginEditor::kScaleCallValue, nullptr, factor);
    };
    for (int s : {1, 2, 3}) {
        SCOPED_TRACE(s);
        EXPECT_EQ(scaleCall(static_cast<float>(s)), 1);
        ERect* r = nullptr;
        host.dispatch(e, effEditGetRect, 0, 0, &r);
        EXPECT_EQ(r->right, 380 * s);
        EXPECT_EQ(r->bottom, 144 * s);
        open();
        EXPECT_EQ(screen().bounds.width, 380 * s);
        EXPECT_EQ(screen().bounds.height, 144 * s);
        EXPECT_EQ(screen().screen().width(), 380 * s);
        EXPECT_EQ(screen().screen().height(), 144 * s);
        // A press at X = 50 and a drag to X = 70 of a slider, in window pixels.
        screen().press((kSlider[0].left + 50) * s + s - 1, (kSlider[0].top + 6) * s);
        EXPECT_EQ(get(0), 0.5f);
        screen().move((kSlider[0].left + 70) * s, (kSlider[0].top + 12) * s + s - 1);
        EXPECT_EQ(get(0), 0.75f);
        screen().release((kSlider[0].left + 70) * s, 0);
        close();
    }
    scaleCall(1.0f);
    open();
    host.clearRequests();
    scaleCall(2.0f);
    EXPECT_EQ(screen().bounds.width, 760);
    screen().repaintNow();
    EXPECT_EQ(screen().screen().height(), 288);
    bool asked = false;
    for (const auto& req : host.requests())
        asked |= req.opcode == audioMasterSizeWindow && req.index == 760 && req.value == 288;
    EXPECT_TRUE(asked);
}

// Where the factor comes from, in order, and how a factor becomes a whole one.
TEST(EditorScale, SourcesInOrder) {
    const struct {
        const char* forced;  // HALVORINE_SCALE
        double host, system;
        int scale;
    } cases[] = {
        {nullptr, 0.0, 1.0, 1}, {nullptr, 2.0, 3.0, 2},  {nullptr, 0.0, 2.0, 2},
        {"3", 2.0, 1.0, 3},     {"1.5", 3.0, 3.0, 1},    {"2,5", 0.0, 1.0, 2},
        {"nonsense", 2.0, 1.0, 2}, {nullptr, 1.75, 1.0, 1}, {nullptr, 7.0, 1.0, 3},
        {nullptr, 0.5, 2.0, 1},  {nullptr, std::nan(""), 2.0, 2}, {nullptr, -1.0, 1.5, 1},
    };
    for (const auto& c : cases) {
        forceScale(c.forced);
        EXPECT_EQ(resolveEditorScale(c.host, c.system), c.scale)
            << (c.forced ? c.forced : "-") << " " << c.host << " " << c.system;
    }
    forceScale(nullptr);
}

TEST(Readouts, Texts) {
    EXPECT_EQ(frequencyText(0.0f), "20Hz");
    EXPECT_EQ(frequencyText(0.5f), "640Hz");
    EXPECT_EQ(frequencyText(1.0f), "20.5KHz");
    EXPECT_EQ(frequencyText(0.5643856f), "1KHz");  // 1000 Hz, give or take
    EXPECT_EQ(percentText(0.5f), "50%");
    EXPECT_EQ(percentText(0.1234f), "12.3%");
    EXPECT_EQ(percentText(1.0f), "100%");
    EXPECT_EQ(percentText(0.0f), "0%");
    EXPECT_EQ(levelText(0.0f, 40, 20), "-20dB");
    EXPECT_EQ(levelText(0.5f, 40, 20), "0dB");
    EXPECT_EQ(levelText(0.75f, 40, 20), "10dB");
    EXPECT_EQ(levelText(1.0f, 40, 20), "20dB");
    EXPECT_EQ(levelText(0.7f, 40, 20), "7.9dB");  // a hair below 8 shows the lower tenth
    EXPECT_EQ(mixText(0.0f), "M/C : 0%/100");
    EXPECT_EQ(mixText(0.25f), "M/C : 50%/100");
    EXPECT_EQ(mixText(0.5f), "M/C : 100%/100");
    EXPECT_EQ(mixText(0.75f), "M/C : 100%/50");
    EXPECT_EQ(mixText(1.0f), "M/C : 100%/0");
    EXPECT_EQ(bandCountText(0.0f), "0");
    EXPECT_EQ(bandCountText(0.3f), "18");  // the engine's count: roundDown(63 v)
    EXPECT_EQ(bandCountText(0.5f), "31");
    EXPECT_EQ(bandCountText(1.0f), "63");
    EXPECT_EQ(generalText(12.3), "12.3");
    EXPECT_EQ(generalText(-20.0), "-20");
}

// Copies of the values made on other threads may land in any order; the
// sliders still show the effect's current values after the next tick.
TEST_F(Editor, ATickShowsTheCurrentValuesWhateverCopyLandedLast) {
    open();
    e->setParameter(e, 0, 0.25f);
    std::thread([&] { e->setParameter(e, 0, 0.75f); }).join();
    window().paramValues[0].store(0.25f);  // an older copy finishing last
    screen().tick();
    EXPECT_EQ(window().drawnValues[0], 0.75f);
}

// Every text the display writes reads back to a value with the same text.
TEST(ParameterText, EveryDisplayTextReadsBack) {
    for (int slot = 0; slot < 9; ++slot) {
        std::string previous;
        int texts = 0;
        for (int i = 0; i <= 65536; ++i) {
            const std::string t = valueText(slot, static_cast<float>(i / 65536.0));
            if (t == previous) continue;
            previous = t;
            ++texts;
            ASSERT_LE(t.size(), kValueTextChars) << slot << " " << t;
            float v = -1.0f;
            ASSERT_TRUE(parseValueText(slot, t.c_str(), v)) << slot << " " << t;
            ASSERT_EQ(valueText(slot, v), t) << slot << " read back from " << v;
        }
        EXPECT_GT(texts, 60) << slot;
    }
    // The shift's texts say the band count the engine uses, and "N bands"
    // gives a value the engine shifts by exactly N.
    for (int i = 0; i <= 4096; ++i) {
        const float v = static_cast<float>(i / 4096.0);
        ASSERT_EQ(valueText(6, v), std::to_string(halvorine::dsp::roundDown(halvorine::dsp::F(63.0 * v)))) << v;
    }
    for (int n = 0; n <= 63; ++n) {
        float v = -1.0f;
        ASSERT_TRUE(parseValueText(6, (std::to_string(n) + " bands").c_str(), v));
        EXPECT_EQ(halvorine::dsp::roundDown(halvorine::dsp::F(63.0 * v)), n);
    }
    // The carrier synth's texts, shown and typed.
    for (int slot = kSynthFirstSlot; slot < kAllSlots; ++slot) {
        std::string previous;
        for (int i = 0; i <= 65536; ++i) {
            const std::string t = valueText(slot, static_cast<float>(i / 65536.0));
            if (t == previous) continue;
            previous = t;
            float v = -1.0f;
            ASSERT_TRUE(parseValueText(slot, t.c_str(), v)) << slot << " " << t;
            ASSERT_EQ(valueText(slot, v), t) << slot << " read back from " << v;
        }
    }
    struct Typed {
        int slot;
        const char *typed, *shown;
    };
    for (const Typed& c : std::initializer_list<Typed>{
             {kCarrierSlot, "synth", "Synth"}, {kCarrierSlot, "Input", "Input"}, {kSynthWaveSlot, "PULSE", "Pulse"},
             {kSynthWaveSlot, "1", "Square"}, {kSynthNoiseSlot, "12.3%", "12.3%"},
             {kSynthDetuneSlot, "0 cents", "0 cents"}, {kSynthDetuneSlot, "0", "0 cents"},
             {kSynthDetuneSlot, "12.5", "12.5 cents"}, {kSynthDetuneSlot, "80 cents", "50 cents"},
             {kSynthOctaveSlot, "-2", "-2"}, {kSynthOctaveSlot, "+1 oct", "+1"}, {kSynthOctaveSlot, "0", "0"},
             {kSynthAttackSlot, "10 ms", "10 ms"}, {kSynthAttackSlot, "1", "1 ms"}, {kSynthAttackSlot, "1 s", "1 s"},
             {kSynthReleaseSlot, "0.15 s", "150 ms"}, {kSynthReleaseSlot, "2.5s", "2.5 s"},
             {kDroneSlot, "off", "Off"}, {kDroneSlot, "A3", "A3"}, {kDroneSlot, "F#2", "F#2"},
             {kDroneSlot, "Bb4", "A#4"}, {kDroneSlot, "c4", "C4"}, {kDroneSlot, "C0", "C0"}, {kDroneSlot, "C8", "C8"},
             {kDroneSlot, "G9", "C8"}}) {
        float v = -1.0f;
        ASSERT_TRUE(parseValueText(c.slot, c.typed, v)) << c.typed;
        EXPECT_EQ(valueText(c.slot, v), c.shown) << c.typed;
    }
    float kept = 0.5f;
    for (const char* bad : {"A", "H4", "4", "ms", "Sine"}) EXPECT_FALSE(parseValueText(kDroneSlot, bad, kept)) << bad;
    EXPECT_FALSE(parseValueText(kSynthWaveSlot, "Sine", kept));
    EXPECT_EQ(kept, 0.5f);
    ASSERT_TRUE(parseValueText(kDroneSlot, "A4", kept));
    EXPECT_EQ(droneKey(kept), 69);  // A4 is 440 Hz
    for (int slot = kSynthFirstSlot; slot < kAllSlots; ++slot) {
        const ParameterInfo& p = parameterInfo(slot);
        EXPECT_NEAR(toUnits(slot, p.defaultValue), p.defaultUnits, 1e-6 * p.maximum) << p.name;
    }
    // Around the switch to kilohertz both texts of 1000 Hz hold.
    for (float v = 0.5640f; v < 0.5648f; v = std::nextafter(v, 1.0f)) {
        const std::string t = frequencyText(v);
        float back = -1.0f;
        ASSERT_TRUE(parseValueText(0, t.c_str(), back));
        ASSERT_EQ(frequencyText(back), t) << v;
    }
}

TEST_F(Editor, UpdatesFromAnotherThreadWhileTheWindowComesAndGoes) {
    std::atomic<bool> done{false};
    std::thread automation([&] {
        for (int i = 0; !done; ++i) e->setParameter(e, i % 11, static_cast<float>(i % 100) / 100.0f);
    });
    for (int cycle = 0; cycle < 200; ++cycle) {
        open();
        screen().tick();
        close();
    }
    done = true;
    automation.join();
    EXPECT_TRUE(HeadlessBackend::live().empty());
}
