// The sound, through the record's process entries: bit-for-bit against the
// plain reference model, and the mix, boost and robustness cases.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/detmath.h"
#include "reference/reference_effect.h"
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

class Audio : public ::testing::Test {
protected:
    void SetUp() override { e = host.loadOrFail(); }
    void set(VstInt32 i, float v) {
        e->setParameter(e, i, v);
        ref.setParameter(i, v);
    }
    // Runs one block through both and compares every output bit.
    void compareBlock(const float* m, const float* c, int frames, bool replacing) {
        std::vector<float> o0(frames, 0.125f), o1(frames, 0.125f), r0(frames), r1(frames);
        processBlock(e, m, c, o0.data(), o1.data(), frames, replacing);
        ref.processReplacing(m, c, r0.data(), r1.data(), frames);
        for (int k = 0; k < frames; ++k) {
            const float expected = replacing ? r0[k] : F(0.125 + static_cast<double>(r0[k]));
            ASSERT_EQ(bitsOf(o0[k]), bitsOf(expected)) << "frame " << k << " of " << frames;
            ASSERT_EQ(bitsOf(o1[k]), bitsOf(o0[k]));
        }
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

TEST_F(Audio, ParameterChangesRestartFromSilentFilters) {
    const auto m = noise(400, 3), c = noise(400, 4);
    std::vector<float> a(400), b(400), fresh0(400), fresh1(400);
    processBlock(e, m.data(), c.data(), a.data(), b.data(), 400);
    e->setParameter(e, 7, 0.5f);  // same value: still a change
    processBlock(e, m.data(), c.data(), a.data(), b.data(), 200);
    // The processed part now equals a fresh instance's, apart from the ring
    // position, which runs on; compare with the reference in the same state.
    ReferenceEffect r;
    std::vector<float> skip(400);
    r.processReplacing(m.data(), c.data(), skip.data(), skip.data(), 400);
    r.setParameter(7, 0.5f);
    r.processReplacing(m.data(), c.data(), fresh0.data(), fresh1.data(), 200);
    for (int k = 0; k < 200; ++k) ASSERT_EQ(bitsOf(a[k]), bitsOf(fresh0[k])) << k;
}

TEST_F(Audio, MixEndsPassTheDryInputsExactly) {
    const auto m = noise(1000, 5), c = noise(1000, 6);
    std::vector<float> o0(1000), o1(1000);
    e->setParameter(e, 7, 0.0f);
    processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 1000);
    for (int k = 0; k < 1000; ++k) ASSERT_EQ(bitsOf(o0[k]), bitsOf(F(m[k] + 1e-12))) << k;
    e->setParameter(e, 7, 1.0f);
    processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 1000);
    for (int k = 0; k < 1000; ++k) ASSERT_EQ(bitsOf(o1[k]), bitsOf(F(c[k] + 1e-12))) << k;
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

TEST_F(Audio, NonFiniteInputDoesNotPoisonTheFilters) {
    auto m = noise(1024, 13), c = noise(1024, 14);
    m[100] = NAN;
    c[200] = INFINITY;
    c[201] = -INFINITY;
    std::vector<float> o0(1024), o1(1024);
    processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 1024);
    // Only the frames that carried the bad samples may be non-finite: there
    // the dry sample, weighted 0 at this mix, still enters the sum.
    for (int k = 0; k < 1024; ++k) {
        const bool badSample = k == 100 || k == 200 || k == 201;
        EXPECT_TRUE(badSample || std::isfinite(o0[k])) << k;
    }
    // And again, bit for bit with the reference (brought to the same state).
    ref.processReplacing(m.data(), c.data(), o0.data(), o1.data(), 1024);
    compareBlock(m.data(), c.data(), 1024, true);
    // At "Mix" 0 the dry path still carries the host's own sample.
    e->setParameter(e, 7, 0.0f);
    processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 1024);
    EXPECT_TRUE(std::isnan(o0[100]));
    EXPECT_TRUE(std::isfinite(o0[101]));
}

TEST_F(Audio, OverflowingFiltersRecoverAtTheNextBlock) {
    // A full-scale tone at a quarter of the rate drives the band states to
    // infinity within the block.
    std::vector<float> huge(64), o0(64), o1(64);
    for (std::size_t i = 0; i < huge.size(); ++i) huge[i] = (i / 2) % 2 ? 3.4e38f : -3.4e38f;
    processBlock(e, huge.data(), huge.data(), o0.data(), o1.data(), 64);
    EXPECT_FALSE(std::isfinite(o0[63]));
    const auto m = noise(512, 15), c = noise(512, 16);
    std::vector<float> a(512), b(512);
    processBlock(e, m.data(), c.data(), a.data(), b.data(), 512);
    for (float v : a) ASSERT_TRUE(std::isfinite(v));
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
    // The ring has run on for 2000 frames: compare with the reference
    // advanced the same way and redesigned at 44100 Hz.
    ReferenceEffect r;
    std::vector<float> skip(2000), expect(2000);
    r.processReplacing(m.data(), c.data(), skip.data(), skip.data(), 2000);
    r.setDesignRate(44100.0f);
    r.setParameter(0, 0.0f);  // a redesign, like the rate change
    r.processReplacing(m.data(), c.data(), expect.data(), skip.data(), 2000);
    for (int k = 0; k < 2000; ++k) ASSERT_EQ(bitsOf(x[k]), bitsOf(expect[k])) << k;
    // Rates that are not usable are ignored by the design.
    for (float bad : {0.0f, -44100.0f, NAN, INFINITY})
        other.dispatch(at48, effSetSampleRate, 0, 0, nullptr, bad);
    processBlock(at48, m.data(), c.data(), x.data(), y.data(), 2000);
    for (float v : x) ASSERT_TRUE(std::isfinite(v));
}

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
    EXPECT_EQ(hash, 8947635237624649099ull) << std::hex << hash;
}
