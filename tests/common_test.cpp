// What the bindings with host-routed buses share: the change list, the
// bypass and the state bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bus_rules.h"
#include "event_split.h"
#include "state_bytes.h"

namespace halvorine::common {
namespace {

struct Sent {
    int offset, id;
};

struct FloodCase {
    const char* name;
    std::vector<Sent> sent;
};

std::vector<Sent> queueByQueue() {  // as VST 3 hosts hand them over
    std::vector<Sent> s;
    for (int i = 0; i < ChangeList::kCapacity + 50; ++i) s.push_back({i, 8});
    s.push_back({10, 100});
    for (int i = 0; i < 300; ++i) s.push_back({i * 3, 2});
    return s;
}

std::vector<Sent> inTimeOrder() {  // as CLAP hosts send them
    std::vector<Sent> s;
    for (int t = 0; t < 3000; ++t) s.push_back({t, t % 3});
    s.push_back({3000, 7});
    return s;
}

std::vector<Sent> allAtOneOffset() {
    std::vector<Sent> s;
    for (int i = 0; i < ChangeList::kCapacity + 5; ++i) s.push_back({64, i % 2 ? 4 : 5});
    s.push_back({64, 6});
    return s;
}

const FloodCase kFloods[] = {{"QueueByQueue", queueByQueue()},
                             {"InTimeOrder", inTimeOrder()},
                             {"AllAtOneOffset", allAtOneOffset()}};

class Flood : public ::testing::TestWithParam<FloodCase> {};

TEST_P(Flood, EveryValueReachesItsOwnParameterAndEndsAtTheLastSent) {
    static ChangeList list;  // large: not on the stack
    list.clear();
    std::map<int, double> last;
    int n = 0;
    for (const Sent& s : GetParam().sent) {
        const double value = s.id * 1e6 + n++;  // the id is in the value
        list.add(s.offset, s.id, value);
        last[s.id] = value;
    }
    list.sort();
    std::map<int, double> applied;
    int previousOffset = 0;
    renderSplit(
        list, 4096,
        [&](const Change& c) {
            EXPECT_EQ(static_cast<int>(c.value / 1e6), c.id) << "a value reached another parameter";
            applied[c.id] = c.value;
        },
        [&](int start, int frames) {
            EXPECT_EQ(start, previousOffset);
            previousOffset = start + frames;
        });
    EXPECT_EQ(previousOffset, 4096);
    EXPECT_EQ(applied, last);
}

// A block's parameter changes beyond what the change list holds: whatever
// a host sends, every value reaches its own parameter and each parameter
// ends at the last value sent for it.
INSTANTIATE_TEST_SUITE_P(ChangeList, Flood, ::testing::ValuesIn(kFloods),
                         [](const auto& test) { return std::string(test.param.name); });

// Bypassed, the stereo main input comes out unchanged while the effect
// runs on behind it; every switch, and a switch back during a fade, moves
// the mix by at most 1/N per frame (N = 480 at 48 kHz); back on, the
// output is exactly that of an effect that was never bypassed.
TEST(Bypass, PassesTheMainInputAndFadesEverySwitchWhileTheEffectRunsOn) {
    constexpr int kFrames = 256, kFade = 480;
    static EffectCore bypassed, plain;  // large: not on the stack
    static BusInputs scratchA, scratchB;
    Bypass bypass;
    for (EffectCore* core : {&bypassed, &plain}) {
        core->setSampleRate(48000.0f);
        core->setParameter(8, 0.8f);
        core->reset();
    }
    bypass.setRate(48000.0);
    bypass.settle();

    // Block b requests the switch of `at[b]` (-1: none) at its start.
    const int at[] = {-1, 1, -1, -1, -1, 0, 1, -1, 0, -1, -1, -1};
    std::vector<float> left(kFrames), right(kFrames), outA(2 * kFrames), outB(2 * kFrames);
    double lastWeight = 0.0;
    int lastWeighed = 0;
    int frame = 0, bypassedSince = -1, onSince = 0;
    for (int b = 0; b < static_cast<int>(std::size(at)); ++b) {
        for (int i = 0; i < kFrames; ++i, ++frame) {
            left[i] = static_cast<float>(0.5 * std::sin(frame * 0.031));
            right[i] = static_cast<float>(0.4 * std::sin(frame * 0.047 + 1.0));
        }
        if (at[b] >= 0) bypass.request(at[b] == 1);
        // Block 6 switches back 256 frames into the fade block 5 began.
        const float* main[2] = {left.data(), right.data()};
        float* a[2] = {outA.data(), outA.data() + kFrames};
        float* p[2] = {outB.data(), outB.data() + kFrames};
        renderBuses(bypassed, scratchA, main, 2, nullptr, 0, a, 2, 0, kFrames, &bypass);
        renderBuses(plain, scratchB, main, 2, nullptr, 0, p, 2, 0, kFrames);
        const int start = frame - kFrames;
        if (at[b] == 1) bypassedSince = start, onSince = -1;
        if (at[b] == 0) onSince = start, bypassedSince = -1;
        for (int i = 0; i < kFrames; ++i) {
            const int f = start + i;
            for (int c = 0; c < 2; ++c) {
                const float dry = main[c][i], wet = p[c][i], out = a[c][i];
                if (bypassedSince >= 0 && f >= bypassedSince + kFade) {
                    ASSERT_EQ(out, dry) << "frame " << f;
                }
                if (onSince >= 0 && f >= onSince + kFade) {
                    ASSERT_EQ(out, wet) << "frame " << f;
                }
                ASSERT_GE(out, std::min(dry, wet) - 1e-6f);
                ASSERT_LE(out, std::max(dry, wet) + 1e-6f);
            }
            const double dry = left[i], wet = p[0][i];
            if (std::fabs(dry - wet) > 0.05) {
                const double weight = (a[0][i] - wet) / (dry - wet);
                ASSERT_LE(std::fabs(weight - lastWeight), (f - lastWeighed) * (1.0 / kFade) + 1e-4)
                    << "frame " << f;
                lastWeight = weight;
                lastWeighed = f;
            }
        }
    }
}

// The state as the versions before the carrier synth wrote it: eleven
// values a program; version 1 without the bypass.
std::vector<std::uint8_t> olderState(std::uint32_t version, float value, std::uint32_t bypass) {
    std::vector<std::uint8_t> b{'H', 'L', 'V', 'R', static_cast<std::uint8_t>(version), 0, 0, 0, 5, 0, 0, 0};
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    for (int k = 0; k < EffectCore::kPrograms; ++k) {
        b.push_back('P');
        b.resize(b.size() + kStateNameBytes - 1, 0);
        for (int slot = 0; slot < EffectCore::kSlots; ++slot)
            for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
    if (version == 2)
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(bypass >> (8 * i)));
    return b;
}

// Every value, the synth's among them, and the bypass round-trip; states
// saved before the synth load with it at its defaults (Carrier on Input),
// before the bypass as not bypassed; a bypass other than 0 or 1 is refused.
TEST(StateBytes, RoundTripsTheSynthAndLoadsOlderVersions) {
    static EffectCore core, copy;
    for (int slot = 0; slot < EffectCore::kAllSlots; ++slot) core.setParameter(slot, 0.25f + slot / 64.0f);
    std::uint8_t bytes[kStateBytes];
    ASSERT_EQ(writeState(core, bytes, sizeof bytes, true), kStateBytes);
    bool bypassed = false;
    ASSERT_TRUE(readState(copy, bytes, kStateBytes, &bypassed));
    EXPECT_TRUE(bypassed);
    for (int slot = 0; slot < EffectCore::kAllSlots; ++slot) EXPECT_EQ(copy.parameter(slot), core.parameter(slot)) << slot;

    bytes[kStateBytes - 4] = 2;
    EXPECT_FALSE(readState(copy, bytes, kStateBytes, &bypassed));
    EXPECT_TRUE(bypassed);

    for (const std::uint32_t version : {1u, 2u}) {
        const std::vector<std::uint8_t> old = olderState(version, 0.75f, 1);
        ASSERT_TRUE(readState(copy, old.data(), old.size(), &bypassed)) << version;
        EXPECT_EQ(bypassed, version == 2) << version;
        EXPECT_EQ(copy.program(), 5);
        for (int slot = 0; slot < EffectCore::kAllSlots; ++slot)
            EXPECT_EQ(copy.parameter(slot), slot < EffectCore::kSlots ? 0.75f : engine::parameterInfo(slot).defaultValue)
                << version << " " << slot;
        EXPECT_FALSE(readState(copy, old.data(), old.size() - 1, &bypassed)) << version;
    }
}

// A preset's one program loads into the current program alone (the other
// programs, the program number and the bypass stay), and is checked as
// carefully as the bank: any damage refuses it whole.
TEST(StateBytes, OneProgramLoadsIntoTheCurrentProgramAllOrNothing) {
    static EffectCore core;
    core.setProgram(3);
    float values[EffectCore::kAllSlots];
    for (int slot = 0; slot < EffectCore::kAllSlots; ++slot) values[slot] = 0.05f * static_cast<float>(slot + 1);
    std::uint8_t good[kProgramStateBytes];
    ASSERT_EQ(writeProgramState("Glass", values, good, sizeof good), kProgramStateBytes);
    EXPECT_EQ(writeProgramState("Glass", values, good, sizeof good - 1), 0u);

    struct Damage {
        const char* what;
        std::size_t at;
        std::uint8_t byte;
        std::size_t size;
    };
    const std::size_t firstValue = 8 + kStateNameBytes;
    const Damage damages[] = {
        {"truncated", 0, 'H', kProgramStateBytes - 1},
        {"too long", 0, 'H', kProgramStateBytes + 1},
        {"version", 4, 3, kProgramStateBytes},
        {"version 1 at this size", 4, 1, kProgramStateBytes},
        {"value above 1", firstValue + 3, 0x40, kProgramStateBytes},
        {"byte after the name's padding starts", 8 + 40, 'x', kProgramStateBytes},
        {"name without its terminator", 8 + 5, 'x', kProgramStateBytes},
    };
    for (const Damage& d : damages) {
        std::uint8_t bytes[kProgramStateBytes + 1] = {};
        std::memcpy(bytes, good, sizeof good);
        bytes[d.at] = d.byte;
        if (d.what == std::string("name without its terminator"))
            std::memset(bytes + 8, 'x', EffectCore::kNameChars + 1);
        bool bypassed = true;
        EXPECT_FALSE(readState(core, bytes, d.size, &bypassed)) << d.what;
        EXPECT_TRUE(bypassed) << d.what;
        EXPECT_EQ(core.parameter(0), engine::parameterInfo(0).defaultValue) << d.what;
    }

    bool bypassed = true;
    ASSERT_TRUE(readState(core, good, sizeof good, &bypassed));
    EXPECT_TRUE(bypassed);
    EXPECT_EQ(core.program(), 3);
    char name[EffectCore::kNameChars + 1];
    core.copyProgramName(3, name, EffectCore::kNameChars);
    EXPECT_STREQ(name, "Glass");
    core.copyProgramName(2, name, EffectCore::kNameChars);
    EXPECT_STREQ(name, "Preset 2");
    for (int slot = 0; slot < EffectCore::kAllSlots; ++slot) {
        EXPECT_EQ(core.parameter(slot), values[slot]) << slot;
        EXPECT_EQ(core.programValue(2, slot), engine::parameterInfo(slot).defaultValue) << slot;
    }

    // The form before the synth: eleven values, the synth's at defaults.
    std::uint8_t old[kProgramStateBytesVersion1];
    std::memcpy(old, good, sizeof old);
    old[4] = 1;
    ASSERT_TRUE(readState(core, old, sizeof old, &bypassed));
    for (int slot = 0; slot < EffectCore::kAllSlots; ++slot)
        EXPECT_EQ(core.parameter(slot), slot < EffectCore::kSlots ? values[slot] : engine::parameterInfo(slot).defaultValue)
            << slot;
}

}  // namespace
}  // namespace halvorine::common
