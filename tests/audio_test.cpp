// The sound, through the record's process entries: bit-for-bit against the
// plain reference model, and the mix, boost and robustness cases.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#if !defined(__aarch64__)
#include <xmmintrin.h>
#endif

#include <gtest/gtest.h>

#include "dsp/detmath.h"
#include "dsp/ring_modulator.h"
#include "reference/reference_effect.h"
#include "support/clicks.h"
#include "support/harmonics.h"
#include "support/plugin_host.h"

using namespace halvorine::test;
using halvorine::reference::ReferenceEffect;

namespace {

float F(double x) { return static_cast<float>(x); }

std::vector<float> noise(std::size_t n, unsigned seed, float amplitude = 1.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-amplitude, amplitude);
    std::vector<float> v(n);
    for (auto& x : v) x = d(rng);
    return v;
}

// A modulator with a voice-like sweep and a carrier chord, for long runs.
// Built from integer noise and the deterministic sine, so every target
// feeds the plug-in the same bits.
void musicalInputs(std::vector<float>& mod, std::vector<float>& car, std::size_t n) {
    using halvorine::dsp::detSin;
    mod.resize(n);
    car.resize(n);
    std::uint32_t state = 7;
    const auto hiss = [&state] {
        state = state * 1664525u + 1013904223u;
        return (static_cast<double>(state >> 8) / 16777216.0 - 0.5) * 0.1;
    };
    const double twoPi = 6.283185307179586;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        mod[i] = F(0.6 * detSin(twoPi * (220 + 200 * detSin(3 * t)) * t) + hiss());
        car[i] = F(0.3 * detSin(twoPi * 110 * t) + 0.3 * detSin(twoPi * 164.8 * t) + hiss());
    }
}

// The thread's floating-point mode as one number, and the modes a host may
// leave behind: the usual one, sticky exception flags raised, rounding
// toward zero with subnormals flushed (and on ARM the default NaN), and
// toward zero with a flag raised.
#if defined(__aarch64__)
// The control register (FPCR) in the high half, the status (FPSR) low.
std::uint64_t floatingPointMode() {
    std::uint64_t control, status;
    asm volatile("mrs %0, fpcr" : "=r"(control)::"memory");
    asm volatile("mrs %0, fpsr" : "=r"(status)::"memory");
    return control << 32 | status;
}
void setFloatingPointMode(std::uint64_t mode) {
    asm volatile("msr fpcr, %0" ::"r"(mode >> 32) : "memory");
    asm volatile("msr fpsr, %0" ::"r"(mode & 0xFFFFFFFFu) : "memory");
}
constexpr std::uint64_t kTowardZero = 0xC00000ull << 32, kFlushToZero = 0x1000000ull << 32,
                        kDefaultNaN = 0x2000000ull << 32, kInvalid = 0x01, kOverflow = 0x04,
                        kPrecision = 0x10;
constexpr std::uint64_t kHostModes[] = {0, kInvalid | kOverflow,
                                        kTowardZero | kFlushToZero | kDefaultNaN,
                                        kTowardZero | kPrecision};
#else
std::uint64_t floatingPointMode() { return _mm_getcsr(); }
void setFloatingPointMode(std::uint64_t mode) { _mm_setcsr(static_cast<unsigned>(mode)); }
constexpr std::uint64_t kMasked = 0x1F80, kTowardZero = 0x6000, kFlushToZero = 0x8000,
                        kDenormalsAreZero = 0x0040, kInvalid = 0x01, kOverflow = 0x08,
                        kPrecision = 0x20;
constexpr std::uint64_t kHostModes[] = {kMasked, kMasked | kInvalid | kOverflow,
                                        kMasked | kTowardZero | kFlushToZero | kDenormalsAreZero,
                                        kMasked | kTowardZero | kPrecision};
#endif

class Audio : public ::testing::Test {
protected:
    void SetUp() override { e = host.loadOrFail(); }
    void set(VstInt32 i, float v) {
        e->setParameter(e, i, v);
        ref.setParameter(i, v);
    }
    // Runs one block through both and compares every output bit; returns
    // the effect's output.
    std::vector<float> compareBlock(const float* m, const float* c, int frames, bool replacing) {
        std::vector<float> o0(frames, 0.125f), o1(frames, 0.125f), r0(frames), r1(frames);
        processBlock(e, m, c, o0.data(), o1.data(), frames, replacing);
        ref.processReplacing(m, c, r0.data(), r1.data(), frames);
        for (int k = 0; k < frames; ++k) {
            const float expected = replacing ? r0[k] : F(0.125 + static_cast<double>(r0[k]));
            EXPECT_EQ(bitsOf(o1[k]), bitsOf(o0[k]));
            if (bitsOf(o0[k]) != bitsOf(expected)) {
                ADD_FAILURE() << "frame " << k << " of " << frames;
                break;
            }
        }
        return o0;
    }
    TestHost host;
    AEffect* e = nullptr;
    ReferenceEffect ref;
};

}  // namespace

TEST_F(Audio, MatchesTheReferenceBitForBitThroughChangesAndBlockSizes) {
    std::vector<float> mod, car;
    musicalInputs(mod, car, 120000);
    const auto hiss = noise(mod.size(), 99, 0.8f);
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> blockLen(1, 700), slot(0, 10), coin(0, 9);
    std::uniform_real_distribution<float> value(-0.2f, 1.2f);
    std::size_t pos = 0;
    int blocks = 0;
    while (pos < mod.size()) {
        const int n = std::min<int>(blockLen(rng), static_cast<int>(mod.size() - pos));
        if (coin(rng) < 4) {  // parameter changes between blocks
            const int changes = 1 + coin(rng) % 3;
            for (int i = 0; i < changes; ++i) set(slot(rng), coin(rng) == 0 ? NAN : value(rng));
        }
        const float* m = (blocks % 5 == 4) ? hiss.data() + pos : mod.data() + pos;
        compareBlock(m, car.data() + pos, n, coin(rng) != 0);
        pos += static_cast<std::size_t>(n);
        ++blocks;
    }
}

TEST_F(Audio, MatchesTheReferenceAtEveryShiftAndOtherRates) {
    const auto m = noise(2048, 1), c = noise(2048, 2);
    for (int s = 0; s < 64; s += 7) {
        set(6, s / 63.0f);
        compareBlock(m.data(), c.data(), 512, true);
    }
    for (float rate : {22050.0f, 48000.0f, 96000.0f, 8000.0f}) {
        host.dispatch(e, effSetSampleRate, 0, 0, nullptr, rate);
        ref.setDesignRate(rate);
        compareBlock(m.data(), c.data(), 2048, true);
    }
}

// Hosts send automation once per block, and re-send unchanged values while
// it plays: the filters run on through every change, a value re-sent
// unchanged changes nothing at all, and a shift that changes while the
// shift glides glides next, from the frame after.
TEST_F(Audio, ChangesBetweenBlocksKeepTheFiltersRunning) {
    struct Lane {
        const char* what;
        VstInt32 slot;
        float (*valueAt)(int block);
    };
    const Lane lanes[] = {
        {"Mod Start sweep", 0, [](int b) { return F(b / 120.0); }},
        {"width change", 5, [](int b) { return b < 40 ? 0.5f : 0.02f; }},
        {"unchanged Mix re-sent", 7, [](int) { return 0.5f; }},
        {"Shift stepping faster than it glides", 6, [](int b) { return F(b * 7 % 64 / 63.0); }},
    };
    std::vector<float> mod, car;
    musicalInputs(mod, car, 120 * 256);
    for (const Lane& lane : lanes) {
        SCOPED_TRACE(lane.what);
        TestHost laneHost, plainHost;
        e = laneHost.loadOrFail();
        AEffect* plain = plainHost.loadOrFail();  // never automated
        ref = ReferenceEffect();
        bool likePlain = true;
        for (int block = 0; block < 120; ++block) {
            set(lane.slot, lane.valueAt(block));
            const float* m = mod.data() + block * 256;
            const float* c = car.data() + block * 256;
            const auto out = compareBlock(m, c, 256, true);
            std::vector<float> p0(256), p1(256);
            processBlock(plain, m, c, p0.data(), p1.data(), 256);
            likePlain = likePlain && std::memcmp(out.data(), p0.data(), 256 * sizeof(float)) == 0;
        }
        EXPECT_EQ(likePlain, lane.slot == 7);
    }
}

TEST_F(Audio, MixEndsPassTheDryInputsExactly) {
    const auto m = noise(1000, 5), c = noise(1000, 6);
    std::vector<float> o0(1000), o1(1000);
    e->setParameter(e, 7, 0.0f);
    processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 1000);
    for (int k = 0; k < 1000; ++k) ASSERT_EQ(bitsOf(o0[k]), bitsOf(F(m[k] + 1e-12))) << k;
    // The change glides over 441 frames (10 ms at 44.1 kHz), then the
    // carrier passes exactly.
    e->setParameter(e, 7, 1.0f);
    processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 1000);
    for (int k = 441; k < 1000; ++k) ASSERT_EQ(bitsOf(o1[k]), bitsOf(F(c[k] + 1e-12))) << k;
}

TEST_F(Audio, BoostAtZeroSilencesTheProcessedSignal) {
    const auto m = noise(1000, 7), c = noise(1000, 8);
    std::vector<float> o0(1000), o1(1000);
    e->setParameter(e, 8, 0.0f);
    processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 1000);
    for (int k = 0; k < 1000; ++k) {
        ASSERT_EQ(o0[k], 0.0f) << k;  // zero, of either sign
        ASSERT_EQ(o1[k], 0.0f) << k;
    }
}

TEST_F(Audio, SilenceGivesATinyButNonZeroOutput) {
    std::vector<float> zero(4096, 0.0f), o0(4096), o1(4096);
    processBlock(e, zero.data(), zero.data(), o0.data(), o1.data(), 4096);
    EXPECT_NE(o0[4095], 0.0f);
    for (float v : o0) ASSERT_LT(std::fabs(v), 1e-15f);
}

TEST_F(Audio, ProcessAddsWhereProcessReplacingStores) {
    TestHost other;
    AEffect* twin = other.loadOrFail();
    const auto m = noise(300, 9), c = noise(300, 10);
    std::vector<float> a0(300, 0.25f), a1(300, 0.25f), r0(300, -7.0f), r1(300, 9.0f);
    processBlock(e, m.data(), c.data(), a0.data(), a1.data(), 300, false);
    processBlock(twin, m.data(), c.data(), r0.data(), r1.data(), 300, true);
    for (int k = 0; k < 300; ++k) {
        ASSERT_EQ(bitsOf(a0[k]), bitsOf(F(0.25 + static_cast<double>(r0[k]))));
        ASSERT_EQ(bitsOf(a1[k]), bitsOf(a0[k]));
    }
}

TEST_F(Audio, EmptyBlocksChangeNothingAndBuffersMayBeShared) {
    TestHost other;
    AEffect* twin = other.loadOrFail();
    auto m = noise(256, 11), c = noise(256, 12);
    std::vector<float> o0(256, 3.0f), o1(256, 3.0f), t0(256), t1(256);
    processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 0);
    processBlock(e, m.data(), c.data(), o0.data(), o1.data(), -5);
    EXPECT_EQ(o0[0], 3.0f);
    processBlock(twin, m.data(), c.data(), t0.data(), t1.data(), 256);
    // In place: the outputs overwrite the inputs frame by frame.
    float* io[2] = {m.data(), c.data()};
    e->processReplacing(e, io, io, 256);
    for (int k = 0; k < 256; ++k) {
        ASSERT_EQ(bitsOf(m[k]), bitsOf(t0[k])) << k;
        ASSERT_EQ(bitsOf(c[k]), bitsOf(t0[k])) << k;
    }
}

// Whatever comes in, nothing but finite samples goes out, at every mix;
// and the filters recover from what overflowed them.
TEST_F(Audio, HostileInputNeverGivesANonFiniteSample) {
    // The hostile samples come after the 441 frames in which a change of
    // the mix glides.
    auto m = noise(1700, 13), c = noise(1700, 14);
    m[600] = NAN;
    c[700] = INFINITY;
    c[701] = -INFINITY;
    m[800] = 3.4e38f;  // finite, but it overflows the filters
    c[1000] = -3.4e38f;
    m[1100] = 1e-40f;  // subnormal
    for (float mix : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
        SCOPED_TRACE(mix);
        set(7, mix);
        set(8, 1.0f);  // the boost at its highest
        const auto out = compareBlock(m.data(), c.data(), 1700, true);
        for (int k = 0; k < 1700; ++k) ASSERT_TRUE(std::isfinite(out[k])) << k;
        // A non-finite input sample counts as 0 in the dry path too.
        if (mix == 0.0f) {
            EXPECT_EQ(out[600], F(1e-12));
        }
        if (mix == 1.0f) {
            EXPECT_EQ(out[700], F(1e-12));
        }
        // Ordinary input after the overflow is processed again.
        EXPECT_NE(out[1699], 0.0f);
    }
    // A full-scale tone at a quarter of the rate drives every band state to
    // infinity, while the shift and the boost glide; the next block sounds
    // like ordinary input again.
    std::vector<float> huge(64), o0(64), o1(64);
    for (std::size_t i = 0; i < huge.size(); ++i) huge[i] = (i / 2) % 2 ? 3.4e38f : -3.4e38f;
    set(6, 0.7f);
    set(8, 0.6f);
    compareBlock(huge.data(), huge.data(), 64, true);
    const auto after = compareBlock(m.data() + 700, c.data() + 700, 500, true);
    for (float v : after) ASSERT_TRUE(std::isfinite(v));
}

// Filters that overflow start again the same way wherever the host cuts its
// blocks: a full-scale carrier square wave at a band's centre overflows the
// narrowest bands again and again, frames apart.
TEST_F(Audio, OverflowRecoveryIsTheSameAtEveryBlockSize) {
    constexpr int kFrames = 4096;
    const float centre = F(20.0 * std::exp2(10.0 * 40 / 63));  // carrier band 40
    std::vector<float> square(kFrames);
    for (int k = 0; k < kFrames; ++k)
        square[k] = static_cast<int>(2.0 * k * centre / 44100.0) % 2 ? 3.4028235e38f : -3.4028235e38f;
    const std::vector<float> m(kFrames, 0.0f);  // a silent modulator: no sum overflows
    std::vector<float> first;
    for (int block : {512, 1, 7, 32}) {
        SCOPED_TRACE(block);
        TestHost blockHost;
        e = blockHost.loadOrFail();
        ref = ReferenceEffect();
        set(5, 0.0f);  // the carrier's bands at their narrowest
        std::vector<float> out;
        for (int pos = 0; pos < kFrames; pos += block) {
            const int n = std::min(block, kFrames - pos);
            const auto o = compareBlock(m.data() + pos, square.data() + pos, n, true);
            out.insert(out.end(), o.begin(), o.end());
        }
        if (first.empty()) first = out;
        int differ = 0;
        for (int k = 0; k < kFrames; ++k) differ += bitsOf(out[k]) != bitsOf(first[k]);
        EXPECT_EQ(differ, 0);
    }
}

// Hosts may run their audio thread in another floating-point mode: the
// effect still renders the same bits, and hands the host's mode back bit
// for bit, its sticky exception flags included (the block raises some of
// its own: the huge sample overflows).
TEST_F(Audio, TheHostsFloatingPointModeChangesNoBit) {
    auto m = noise(700, 31), c = noise(700, 32);
    m[5] = 1e-39f;  // subnormal
    m[400] = 3.4e38f;
    std::vector<float> a0(700), a1(700), b0(700), b1(700);
    processBlock(e, m.data(), c.data(), a0.data(), a1.data(), 700);
    const std::uint64_t usual = floatingPointMode();
    for (std::uint64_t mode : kHostModes) {
        SCOPED_TRACE(testing::Message() << std::hex << mode);
        TestHost other;
        AEffect* twin = other.loadOrFail();
        setFloatingPointMode(mode);
        processBlock(twin, m.data(), c.data(), b0.data(), b1.data(), 700);
        const std::uint64_t after = floatingPointMode();
        setFloatingPointMode(usual);
        EXPECT_EQ(after, mode) << std::hex << after;
        for (int k = 0; k < 700; ++k) ASSERT_EQ(bitsOf(b0[k]), bitsOf(a0[k])) << k;
    }
}

TEST_F(Audio, TheHostsSampleRateMovesTheBands) {
    TestHost other;
    AEffect* at48 = other.loadOrFail();
    other.dispatch(at48, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    const auto m = noise(2000, 17), c = noise(2000, 18);
    std::vector<float> a(2000), b(2000), x(2000), y(2000);
    processBlock(e, m.data(), c.data(), a.data(), b.data(), 2000);
    processBlock(at48, m.data(), c.data(), x.data(), y.data(), 2000);
    EXPECT_NE(0, std::memcmp(a.data(), x.data(), 2000 * sizeof(float)));
    // Back to 44100: the instance sounds as at construction again.
    other.dispatch(at48, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    processBlock(at48, m.data(), c.data(), x.data(), y.data(), 2000);
    // A new rate starts the filters from silence; the ring has run on.
    ReferenceEffect r;
    std::vector<float> skip(2000), expect(2000);
    r.setDesignRate(48000.0f);
    r.processReplacing(m.data(), c.data(), skip.data(), skip.data(), 2000);
    r.setDesignRate(44100.0f);
    r.processReplacing(m.data(), c.data(), expect.data(), skip.data(), 2000);
    for (int k = 0; k < 2000; ++k) ASSERT_EQ(bitsOf(x[k]), bitsOf(expect[k])) << k;
    // Rates that are not usable are ignored by the design.
    for (float bad : {0.0f, -44100.0f, NAN, INFINITY})
        other.dispatch(at48, effSetSampleRate, 0, 0, nullptr, bad);
    processBlock(at48, m.data(), c.data(), x.data(), y.data(), 2000);
    for (float v : x) ASSERT_TRUE(std::isfinite(v));
}

// After loud input, silence decays and keeps decaying at every rate, also
// where floats can no longer hold the lowest bands' poles as designed.
TEST(AudioRates, SilenceAfterLoudInputDecaysAtHighRates) {
    for (float rate : {384000.0f, 768000.0f}) {
        for (float width : {0.0f, 0.5f, 1.0f}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, width " << width);
            TestHost host;
            AEffect* e = host.loadOrFail();
            host.dispatch(e, effSetSampleRate, 0, 0, nullptr, rate);
            e->setParameter(e, 2, width);
            e->setParameter(e, 5, width);
            const int second = static_cast<int>(rate);
            auto loud = noise(static_cast<std::size_t>(second / 4), 21);
            std::vector<float> out(loud.size()), other(loud.size());
            processBlock(e, loud.data(), loud.data(), out.data(), other.data(), second / 4);
            std::vector<float> zero(static_cast<std::size_t>(second / 2), 0.0f);
            out.resize(zero.size());
            other.resize(zero.size());
            float previous = INFINITY;
            for (int half = 0; half < 6; ++half) {  // three seconds of silence
                processBlock(e, zero.data(), zero.data(), out.data(), other.data(), second / 2);
                float peak = 0.0f;
                for (float v : out) peak = std::max(peak, std::fabs(v));
                ASSERT_LE(peak, previous) << "half-second " << half;
                previous = peak;
            }
            EXPECT_LT(previous, 1e-3f);
        }
    }
}

// A step of the mix, the boost or the shift at a block boundary glides:
// no click, where the old jump was many times the steady sound's largest
// change. Nor does a run of shift changes, each while the last still
// fades: no click, and it bends the sound (second differences) at most
// twice as much as the one step from `from` to `to` does (a fade that
// turns back bends it twice as much as one that starts).
class SteppedChange : public ::testing::TestWithParam<Step> {};

TEST_P(SteppedChange, DoesNotClick) {
    const Step& step = GetParam();
    constexpr double kRate = 44100.0;
    constexpr long kFrames = 88200, kStepAt = 44032, kBlock = 64;  // at block boundaries
    std::vector<float> mod, car;
    lowTones(mod, car, kFrames, kRate);
    using Changes = std::vector<std::pair<long, float>>;
    const auto render = [&](const Changes& changes) {
        TestHost host;
        AEffect* e = host.loadOrFail();
        std::vector<float> out(kFrames), right(kFrames);
        e->setParameter(e, 6, 0.0f);
        e->setParameter(e, 8, step.boost);
        e->setParameter(e, step.slot, step.from);
        for (long at = 0; at < kFrames; at += kBlock) {
            for (const auto& [when, value] : changes)
                if (when == at) e->setParameter(e, step.slot, value);
            processBlock(e, mod.data() + at, car.data() + at, out.data() + at, right.data() + at,
                         static_cast<int>(std::min(kBlock, kFrames - at)));
        }
        return out;
    };
    Changes changes;
    for (int i = 1; i <= step.steps; ++i)
        changes.push_back({kStepAt + (i - 1) * step.every,
                           F(step.from + (static_cast<double>(step.to) - step.from) * i / step.steps)});
    if (step.back > 0) changes.push_back({changes.back().first + step.back, step.from});
    const auto out = render(changes);
    const double ratio = clickRatio(out, kStepAt, changes.back().first, kRate, 1);
    EXPECT_LE(ratio, 2.0);
    RecordProperty("click_ratio", std::to_string(ratio));
    if (changes.size() > 1) {
        const double bend = clickRatio(out, kStepAt, changes.back().first, kRate, 2);
        const double alone = clickRatio(render({{kStepAt, step.to}}), kStepAt, kStepAt, kRate, 2);
        EXPECT_LE(bend, 2.0 * alone);
        RecordProperty("bend_ratio", std::to_string(bend / alone));
    }
}

INSTANTIATE_TEST_SUITE_P(Vst2, SteppedChange, ::testing::ValuesIn(kSteps),
                         [](const auto& test) { return std::string(test.param.name); });
INSTANTIATE_TEST_SUITE_P(Vst2Runs, SteppedChange, ::testing::ValuesIn(kShiftRuns),
                         [](const auto& test) { return std::string(test.param.name); });

// Every target must compute exactly these bits: the value is committed.
TEST(AudioChecksum, FixedRenderIsTheSameOnEveryTarget) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    std::vector<float> mod, car;
    musicalInputs(mod, car, 44100);
    std::uint64_t hash = 1469598103934665603ull;
    const float changes[][2] = {{6, 0.3f}, {0, 0.2f}, {4, 0.8f}, {2, 0.05f}, {5, 0.95f},
                                {7, 0.35f}, {8, 0.9f}, {3, 0.6f}, {1, 0.4f}};
    std::vector<float> o0(441), o1(441);
    for (int block = 0; block < 100; ++block) {
        if (block % 11 == 5) {
            const auto& ch = changes[(block / 11) % 9];
            e->setParameter(e, static_cast<VstInt32>(ch[0]), ch[1]);
        }
        processBlock(e, mod.data() + block * 441, car.data() + block * 441, o0.data(), o1.data(), 441);
        for (float v : o0) {
            const unsigned bits = bitsOf(v);
            for (int b = 0; b < 4; ++b) {
                hash ^= (bits >> (8 * b)) & 0xFF;
                hash *= 1099511628211ull;
            }
        }
    }
    EXPECT_EQ(hash, 13715776972702017883ull) << std::hex << hash;
}

// ------------------------------------------------------------ the carrier synth

namespace {

using halvorine::dsp::CarrierSynth;
using halvorine::dsp::NoteEvent;
using halvorine::dsp::SpectralRingModulator;
using halvorine::dsp::SynthSettings;

constexpr double kPi = 3.141592653589793;

double keyHz(int key) { return 440.0 * std::pow(2.0, (key - 69) / 12.0); }

// One note of a wave, detune 0, the shortest attack, from frame 0.
std::vector<float> renderNote(int wave, int key, double rate, std::size_t frames) {
    CarrierSynth synth;
    synth.setRate(rate);
    SynthSettings s;
    s.wave = static_cast<float>(wave) / 2.0f;
    s.detune = 0.0f;
    s.attack = 0.0f;
    synth.apply(s, false);
    const NoteEvent on{0, NoteEvent::On, static_cast<std::int16_t>(key), 1.0f};
    std::vector<float> out(frames);
    synth.render(out.data(), static_cast<int>(frames), &on, 1);
    return out;
}

// The fundamental's phase over n frames from `start`, against f.
double phaseAt(const std::vector<float>& x, std::size_t start, std::size_t n, double f, double rate) {
    std::complex<double> sum;
    for (std::size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(n));
        sum += w * static_cast<double>(x[start + i]) * std::polar(1.0, -2.0 * kPi * f * static_cast<double>(start + i) / rate);
    }
    return std::arg(sum);
}

// The engine with the carrier on the synth and the mix at 1 (the carrier
// alone), played through blocks; returns the output.
struct SynthRun {
    SpectralRingModulator engine;
    std::vector<float> mod, car, out;
    explicit SynthRun(double rate = 44100.0, float mix = 1.0f) {
        engine.setDesignRate(static_cast<float>(rate));
        engine.setParameter(SpectralRingModulator::kMix, mix);
        engine.setParameter(SpectralRingModulator::kCarrier, 1.0f);
    }
    // Frames [out.size(), out.size() + frames) with these events (frames
    // counted from the run's start), in blocks of the given sizes in turn.
    void play(int frames, std::vector<NoteEvent> events = {}, std::vector<int> blocks = {512}) {
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(frames));
        if (mod.size() < out.size()) mod.resize(out.size()), car.resize(out.size());
        for (int done = 0, b = 0; done < frames; ++b) {
            const int n = std::min(blocks[static_cast<std::size_t>(b) % blocks.size()], frames - done);
            std::vector<NoteEvent> mine;
            for (NoteEvent e : events) {
                const long f = e.frame - static_cast<long>(at) - done;
                if (f >= 0 && f < n) mine.push_back({static_cast<std::int32_t>(f), e.kind, e.key, e.value});
            }
            const float* in[2] = {mod.data() + at + done, car.data() + at + done};
            float* o[2] = {out.data() + at + done, out.data() + at + done};
            engine.process(in, o, n, false, mine.data(), static_cast<int>(mine.size()));
            done += n;
        }
    }
};

NoteEvent note(int frame, NoteEvent::Kind kind, int key = 0, float value = 1.0f) {
    return {frame, kind, static_cast<std::int16_t>(key), value};
}

}  // namespace

// Key n sounds 440 * 2^((n - 69) / 12) Hz within 0.05 cents at every rate:
// the fundamental's phase drift over one second.
TEST(AudioSynth, KeysSoundTheirPitchAtEveryRate) {
    double worst = 0.0;
    for (const double rate : {8000.0, 44100.0, 48000.0, 96000.0, 384000.0}) {
        for (const int key : {33, 69, 96, 108}) {
            const double f = keyHz(key);
            if (f >= rate / 2) continue;
            const std::size_t n = static_cast<std::size_t>(8.0 * rate / f), start = static_cast<std::size_t>(rate / 10);
            const std::size_t later = start + static_cast<std::size_t>(rate);
            const std::vector<float> x = renderNote(0, key, rate, later + n);
            double turn = (phaseAt(x, later, n, f, rate) - phaseAt(x, start, n, f, rate)) / (2.0 * kPi);
            turn -= std::round(turn);
            const double cents = 1200.0 * std::log2((f + turn * rate / static_cast<double>(later - start)) / f);
            EXPECT_LT(std::fabs(cents), 0.05) << key << " at " << rate;
            worst = std::max(worst, std::fabs(cents));
        }
    }
    std::printf("pitch error at most %.2g cents\n", worst);
}

// Nothing off a note's harmonics comes within 70 dB of its fundamental.
TEST(AudioSynth, EveryWaveStaysBandLimited) {
    const char* names[] = {"saw", "square", "pulse"};
    for (int wave = 0; wave < 3; ++wave) {
        double worst = -400.0;
        for (const double rate : {44100.0, 48000.0}) {
            for (const int key : {36, 60, 84, 96, 100, 108}) {
                std::vector<float> x = renderNote(wave, key, rate, 4096 + 65536);
                x.erase(x.begin(), x.begin() + 4096);
                const double db = worstOffHarmonic(x, keyHz(key), rate);
                EXPECT_LT(db, -70.0) << names[wave] << " key " << key << " at " << rate;
                worst = std::max(worst, db);
            }
        }
        std::printf("%s: off the harmonics at most %.1f dB\n", names[wave], worst);
    }
}

// A note's start and end, the drone on and off and the carrier switched put
// little between the harmonics of key 96 (2093 Hz), heard raw at mix 1, in
// 1024 frames around the event, with the default attack and release.
TEST(AudioSynth, EventsDoNotClick) {
    constexpr int kAt = 22050;  // the event
    const float c7 = 85.0f / 97.0f;  // the drone's C7, key 96
    const struct Case {
        const char* name;
        std::vector<NoteEvent> before, at;
        int slot;  // or a parameter set at the event
        float from, to;
    } cases[] = {
        {"note on", {}, {note(kAt, NoteEvent::On, 96)}, -1, 0, 0},
        {"note off", {note(0, NoteEvent::On, 96)}, {note(kAt, NoteEvent::Off, 96)}, -1, 0, 0},
        {"drone on", {}, {}, SpectralRingModulator::kDrone, 0.0f, c7},
        {"drone off", {}, {}, SpectralRingModulator::kDrone, c7, 0.0f},
        {"carrier to synth", {}, {}, SpectralRingModulator::kCarrier, 0.0f, 1.0f},
        {"carrier to input", {}, {}, SpectralRingModulator::kCarrier, 1.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SynthRun run;
        if (c.slot == SpectralRingModulator::kCarrier) run.engine.setParameter(SpectralRingModulator::kDrone, c7);
        if (c.slot >= 0) run.engine.setParameter(c.slot, c.from);
        run.play(kAt, c.before);
        if (c.slot >= 0) run.engine.setParameter(c.slot, c.to);
        run.play(4096, c.at);
        const std::vector<float> window(run.out.begin() + kAt - 512, run.out.begin() + kAt + 512);
        const double db = betweenHarmonics(window, keyHz(96), 44100.0);
        EXPECT_LT(db, -30.0) << c.name;
        std::printf("%s: %.1f dB between the harmonics\n", c.name, db);
    }
}

// Velocity scales a note's level; a 17th note takes the oldest voice, which
// fades out over 5 ms instead of stopping.
TEST(AudioSynth, VelocityScalesAndAStolenVoiceFades) {
    const auto render = [](const std::vector<NoteEvent>& events, int frames) {
        CarrierSynth synth;
        synth.setRate(44100.0);
        SynthSettings s;
        s.detune = 0.0f;
        synth.apply(s, false);
        std::vector<float> out(static_cast<std::size_t>(frames));
        synth.render(out.data(), frames, events.data(), static_cast<int>(events.size()));
        return out;
    };
    const std::vector<float> loud = render({note(0, NoteEvent::On, 60, 1.0f)}, 2000),
                             soft = render({note(0, NoteEvent::On, 60, 0.5f)}, 2000);
    for (std::size_t i = 0; i < loud.size(); ++i) ASSERT_NEAR(soft[i], 0.5f * loud[i], 1e-6f) << i;

    constexpr int kSteal = 4410, kFade = 221;  // 5 ms
    std::vector<NoteEvent> all, without;
    for (int k = 0; k < 16; ++k) {
        all.push_back(note(0, NoteEvent::On, 60 + k));
        if (k > 0) without.push_back(note(0, NoteEvent::On, 60 + k));
    }
    all.push_back(note(kSteal, NoteEvent::On, 90));
    without.push_back(note(kSteal, NoteEvent::On, 90));
    const std::vector<float> a = render(all, 8820), b = render(without, 8820);
    const auto gap = [&](int from, int to) {
        double g = 0.0;
        for (int i = from; i < to; ++i) g = std::max(g, std::fabs(static_cast<double>(a[i]) - b[i]));
        return g;
    };
    const double before = gap(kSteal - 400, kSteal);
    EXPECT_GT(before, 0.05) << "the oldest voice sounds";
    EXPECT_GT(gap(kSteal + 40, kSteal + 140), 0.1 * before) << "it fades rather than stops";
    EXPECT_LT(gap(kSteal + kFade + 1, 8820), 1e-5) << "and is gone after 5 ms";
}

// With no notes at all, the drone is a carrier: A3 sounds at 220 Hz.
TEST(AudioSynth, TheDroneSoundsWithoutNotes) {
    SynthRun run;
    run.engine.setParameter(SpectralRingModulator::kSynthDetune, 0.0f);
    run.engine.setParameter(SpectralRingModulator::kDrone, 46.0f / 97.0f);  // A3
    run.play(44100);
    int rises = 0;
    for (std::size_t i = 4411; i < 44100; ++i) rises += run.out[i - 1] < 0.0f && run.out[i] >= 0.0f;
    EXPECT_NEAR(rises, 198, 2) << "0.9 s of 220 Hz";
    run.engine.setParameter(SpectralRingModulator::kCarrier, 0.0f);
    run.play(22050);
    EXPECT_LT(*std::max_element(run.out.end() - 4410, run.out.end()), 1e-11f) << "the input's silence again";
}

// A performance through the whole mix: notes, a 17th that steals, the
// same key again, bend, pedal, choke, all notes off, noise; the same bits
// whatever the blocks, and on every target.
std::vector<NoteEvent> performance() {
    std::vector<NoteEvent> e;
    for (int k = 0; k < 17; ++k) e.push_back(note(100 + 900 * k, NoteEvent::On, 48 + 2 * k, 0.3f + k / 30.0f));
    e.push_back(note(16000, NoteEvent::On, 50, 1.0f));  // struck again
    e.push_back(note(17000, NoteEvent::Bend, 0, 0.5f));
    e.push_back(note(18000, NoteEvent::Sustain, 0, 1.0f));
    e.push_back(note(18500, NoteEvent::Off, 52));
    e.push_back(note(19000, NoteEvent::Bend, 0, -1.0f));
    e.push_back(note(20000, NoteEvent::Sustain, 0, 0.0f));
    e.push_back(note(21000, NoteEvent::Choke, 54));
    e.push_back(note(23000, NoteEvent::AllOff));
    e.push_back(note(25000, NoteEvent::On, 72, 0.8f));
    e.push_back(note(25000, NoteEvent::On, 76, 0.8f));
    e.push_back(note(30000, NoteEvent::Off, 72));
    return e;
}

std::vector<float> playPerformance(std::vector<int> blocks, float octave = 0.5f) {
    SynthRun run(44100.0, 0.5f);
    musicalInputs(run.mod, run.car, 44100);
    run.engine.setParameter(SpectralRingModulator::kSynthNoise, 0.3f);
    run.engine.setParameter(SpectralRingModulator::kSynthWave, 0.5f);
    run.engine.setParameter(SpectralRingModulator::kSynthOctave, octave);
    run.play(44100, performance(), std::move(blocks));
    return run.out;
}

TEST(AudioSynth, TheSameNotesGiveTheSameBitsWhateverTheBlocks) {
    const std::vector<float> whole = playPerformance({44100});
    for (const std::vector<int>& blocks : {std::vector<int>{1, 7, 64}, {333, 1024}, {4096, 13}}) {
        const std::vector<float> cut = playPerformance(blocks);
        for (std::size_t i = 0; i < whole.size(); ++i)
            ASSERT_EQ(bitsOf(cut[i]), bitsOf(whole[i])) << "frame " << i << " in blocks of " << blocks[0];
    }
}

// At the default octave and two down, where the lowest notes read the
// largest tables (every table size is played).
TEST(AudioChecksum, SynthRenderIsTheSameOnEveryTarget) {
    const struct {
        float octave;
        std::uint64_t hash;
    } cases[] = {{0.5f, 13845493989404857155ull}, {0.0f, 8766350028940788163ull}};
    for (const auto& c : cases) {
        std::uint64_t hash = 1469598103934665603ull;
        for (const float v : playPerformance({441}, c.octave)) {
            const unsigned bits = bitsOf(v);
            for (int b = 0; b < 4; ++b) {
                hash ^= (bits >> (8 * b)) & 0xFF;
                hash *= 1099511628211ull;
            }
        }
        EXPECT_EQ(hash, c.hash) << "octave " << c.octave << ": " << hash;
    }
}
