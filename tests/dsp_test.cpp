// The DSP core on its own: deterministic maths, numeric helpers, filter
// design, and the plain reference model anchored on known values.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/detmath.h"
#include "dsp/filter_design.h"
#include "dsp/numeric.h"
#include "dsp/ring_kernel.h"
#include "reference/reference_effect.h"

using namespace halvorine::dsp;
using halvorine::reference::ReferenceEffect;

namespace {

std::int64_t ulpDistance(double a, double b) {
    std::int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    if (ia < 0) ia = INT64_MIN - ia;
    if (ib < 0) ib = INT64_MIN - ib;
    return ia > ib ? ia - ib : ib - ia;
}

std::uint32_t bitsOf(float x) {
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

}  // namespace

TEST(DeterministicMath, AgreesWithTheSystemLibraryWithinOneUlp) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> wide(-40.0, 40.0), narrow(-1e-6, 1e-6);
    std::int64_t worstExp = 0, worstSin = 0, worstCos = 0;
    for (int i = 0; i < 200000; ++i) {
        const double x = (i % 10 == 0) ? narrow(rng) : wide(rng);
        worstExp = std::max(worstExp, ulpDistance(detExp(x), std::exp(x)));
        worstSin = std::max(worstSin, ulpDistance(detSin(x), std::sin(x)));
        worstCos = std::max(worstCos, ulpDistance(detCos(x), std::cos(x)));
    }
    EXPECT_LE(worstExp, 1);
#if defined(_WIN32)
    // MinGW-w64's sin and cos, linked into the Windows build, go through
    // the x87 fsin and fcos, whose argument reduction uses a 66-bit pi:
    // near the zeros of sin and cos they are off by tens of ulps. It is
    // the system library that is off here, not ours.
    constexpr std::int64_t kTrigUlps = 32;
#else
    constexpr std::int64_t kTrigUlps = 1;
#endif
    EXPECT_LE(worstSin, kTrigUlps);
    EXPECT_LE(worstCos, kTrigUlps);
}

TEST(DeterministicMath, SpecialArguments) {
    EXPECT_EQ(detExp(0.0), 1.0);
    EXPECT_EQ(detExp(1000.0), INFINITY);
    EXPECT_EQ(detExp(-1000.0), 0.0);
    EXPECT_TRUE(std::isnan(detExp(NAN)));
    EXPECT_EQ(detSin(0.0), 0.0);
    EXPECT_EQ(detCos(0.0), 1.0);
    EXPECT_TRUE(std::isnan(detSin(INFINITY)));
    EXPECT_NEAR(detSin(3.14159), std::sin(3.14159), 1e-16);
    EXPECT_NEAR(detCos(1e5), std::cos(1e5), 1e-15);
}

TEST(Numeric, RoundDownIsTheFloorExceptJustBelowAnInteger) {
    EXPECT_EQ(roundDown(0.0f), 0);
    EXPECT_EQ(roundDown(0.9f), 0);
    EXPECT_EQ(roundDown(31.5f), 31);
    EXPECT_EQ(roundDown(62.999f), 62);
    EXPECT_EQ(roundDown(63.0f), 63);
    EXPECT_EQ(roundDown(2.99999995f), 3);  // the float nearest is 3.0
    EXPECT_EQ(roundDown(-0.5f), -1);
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(16383.5), 16384);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
}

TEST(Numeric, PowersAndGainCarryTheExponentOffset) {
    EXPECT_FLOAT_EQ(pow2(0.0f), 1.0001f);
    EXPECT_FLOAT_EQ(pow2(10.0f), 1024.1026f);
    EXPECT_FLOAT_EQ(pow10(0.0f), 1.0001f);
    EXPECT_EQ(dbToGain(0.0f, 40, 20), 0.0f);  // exactly silent, not -20 dB
    // Known gains, to the digits given (tolerance: half the last digit).
    struct { float v, gain, halfDigit; } table[] = {
        {0.000001f, 0.100010f, 5e-7f}, {1.0f / 63, 0.107594f, 5e-7f}, {0.25f, 0.316259f, 5e-7f},
        {0.5f, 1.0001f, 5e-5f},       {0.75f, 3.16259f, 5e-6f},     {0.999f, 9.95505f, 5e-6f},
        {1.0f, 10.0010f, 5e-5f}};
    for (auto row : table) EXPECT_NEAR(dbToGain(row.v, 40, 20), row.gain, row.halfDigit) << row.v;
}

TEST(FilterDesign, BandFrequenciesSpacedLogarithmically) {
    struct { float v, hz, halfDigit; } mapping[] = {
        {0.0f, 20.002f, 5e-4f},   {1.0f / 63, 22.328f, 5e-4f},  {0.25f, 113.148f, 5e-4f},
        {0.5f, 640.064f, 5e-4f},  {0.75f, 3620.749f, 5e-4f},    {0.999f, 20340.57f, 5e-3f},
        {1.0f, 20482.05f, 5e-3f}};
    for (auto row : mapping)
        EXPECT_NEAR(bandFrequency(row.v, row.v, 0, 63), row.hz, row.halfDigit) << row.v;
    EXPECT_NEAR(bandFrequency(0, 1, 0, 63), 20.002f, 1e-4);
    EXPECT_NEAR(bandFrequency(0, 1, 31, 63), 605.80f, 0.01);
    EXPECT_NEAR(bandFrequency(0, 1, 32, 63), 676.26f, 0.01);
    EXPECT_NEAR(bandFrequency(0, 1, 63, 63), 20482.05f, 0.01);
    EXPECT_NEAR(bandFrequency(1, 0, 0, 63), 20482.05f, 0.01);  // a bank may run downward
    EXPECT_NEAR(bandFrequency(1, 0, 63, 63), 20.002f, 1e-4);
    EXPECT_NEAR(bandFrequency(0, 1, 1, 63) / bandFrequency(0, 1, 0, 63), 1.11630, 1e-5);
}

TEST(FilterDesign, BandPassWorkedValuesAndTheReferenceAgree) {
    struct { float f, w, b0, a1, a2; } rows[] = {
        {1000.0f, 0.5f, 0.03440792f, -1.911617f, 0.9311842f},
        {20.002f, 0.5f, 0.0007119429f, -1.998568f, 0.9985762f},
        {20482.05f, 0.5f, 0.4720463f, 1.029669f, 0.05590738f},
        {1000.0f, 0.0f, 0.0003560625f, -1.979030f, 0.9992879f},
        {1000.0f, 1.0f, 0.06598154f, -1.849109f, 0.8680369f},
    };
    for (auto r : rows) {
        const BandCoefficients c = designBand(kFilterBandPass, r.f, r.w, 44100.0f);
        EXPECT_NEAR(c.b0, r.b0, std::fabs(r.b0) * 2e-6) << r.f << " " << r.w;
        EXPECT_NEAR(c.b2, -r.b0, std::fabs(r.b0) * 2e-6);
        EXPECT_NEAR(c.a1, r.a1, 3e-6);
        EXPECT_NEAR(c.a2, r.a2, 3e-6);
        EXPECT_EQ(c.b1, 1e-12f);  // zero is stored with the denormal offset
        float ref[5];
        ReferenceEffect::designBandPass(r.f, r.w, 44100.0f, ref);
        EXPECT_EQ(c.b0, ref[0]);
        EXPECT_EQ(c.b1, ref[1]);
        EXPECT_EQ(c.b2, ref[2]);
        EXPECT_EQ(c.a1, ref[3]);
        EXPECT_EQ(c.a2, ref[4]);
    }
}

TEST(FilterDesign, WidthLimitsAndNaN) {
    const auto at = [](float w) { return designBand(kFilterBandPass, 1000.0f, w, 44100.0f).b0; };
    EXPECT_EQ(at(0.0f), at(0.005f));
    EXPECT_EQ(at(-3.0f), at(0.005f));
    EXPECT_EQ(at(1.0f), at(0.99f));
    EXPECT_EQ(at(NAN), at(0.99f));
}

// Gain of a designed filter at angular frequency omega (radians/sample),
// with the sign convention of the sample step: y = b.x - a1 y1 - a2 y2.
static double gainAt(const BandCoefficients& c, double omega) {
    const double cr1 = std::cos(omega), ci1 = -std::sin(omega);
    const double cr2 = std::cos(2 * omega), ci2 = -std::sin(2 * omega);
    const double nr = c.b0 + c.b1 * cr1 + c.b2 * cr2, ni = c.b1 * ci1 + c.b2 * ci2;
    const double dr = 1 + c.a1 * cr1 + c.a2 * cr2, di = c.a1 * ci1 + c.a2 * ci2;
    return std::sqrt((nr * nr + ni * ni) / (dr * dr + di * di));
}

TEST(FilterDesign, EveryTypePassesItsBandAndStopsTheOther) {
    const double pi = 3.141592653589793;
    const double centre = 2 * pi * 2000.0 / 44100.0;
    const BandCoefficients bp = designBand(kFilterBandPass, 2000.0f, 0.3f, 44100.0f);
    EXPECT_NEAR(gainAt(bp, centre), 1.0, 0.01);
    EXPECT_LT(gainAt(bp, centre / 8), 0.1);

    const BandCoefficients lp = designBand(kFilterLow, 2000.0f, 0.3f, 44100.0f);
    EXPECT_NEAR(gainAt(lp, 0.0), 4.0 / 4.001, 1e-4);
    EXPECT_LT(gainAt(lp, pi * 0.9), 0.05);

    const BandCoefficients hp = designBand(kFilterHigh, 2000.0f, 0.3f, 44100.0f);
    EXPECT_NEAR(gainAt(hp, pi), 4.0 / 4.0001, 1e-4);
    EXPECT_LT(gainAt(hp, 0.01), 0.05);

    const BandCoefficients br = designBand(kFilterBandReject, 2000.0f, 0.3f, 44100.0f);
    EXPECT_NEAR(gainAt(br, 0.0), 1.0, 0.01);
    EXPECT_LT(gainAt(br, centre), 0.05);

    for (int type : {0, 1, 9}) {  // "Off", "Bypass" and an unknown type
        const BandCoefficients none = designBand(type, 2000.0f, 0.3f, 44100.0f);
        EXPECT_EQ(none.b0, 1e-12f);
        EXPECT_EQ(none.a2, 1e-12f);
    }
}

TEST(FilterDesign, CentreFrequencyIsHeldBelowHalfTheRate) {
    // At 22050 Hz the top bands would lie above half the rate.
    const BandCoefficients limited = designBand(kFilterBandPass, 20482.05f, 0.5f, 22050.0f);
    const BandCoefficients atLimit = designBand(kFilterBandPass, F(0.49 * 22050.0), 0.5f, 22050.0f);
    EXPECT_EQ(limited.a1, atLimit.a1);
    EXPECT_EQ(limited.b0, atLimit.b0);
    EXPECT_LT(std::fabs(limited.a2), 1.0f);  // poles inside the unit circle
    // At 44.1 kHz the limit never acts: the top band keeps its own design.
    const BandCoefficients top = designBand(kFilterBandPass, 20482.05f, 0.5f, 44100.0f);
    const BandCoefficients below = designBand(kFilterBandPass, 20482.0f, 0.5f, 44100.0f);
    EXPECT_NE(top.a1, below.a1);
}

// Every band at every rate keeps its poles inside the unit circle once its
// coefficients are stored as floats; up to 192 kHz no band is touched.
TEST(FilterDesign, EveryBandIsStableAtEveryRate) {
    for (float rate : {1.0f, 100.0f, 8000.0f, 44100.0f, 96000.0f, 176400.0f, 192000.0f, 384000.0f,
                       768000.0f, 1e6f}) {
        for (float w : {0.0f, 0.013f, 0.5f, 1.0f}) {
            for (int step = 0; step <= 400; ++step) {
                const float t = F(step / 400.0);
                const float f = bandFrequency(t, t, 0, 63);
                const BandCoefficients c = designBand(kFilterBandPass, f, w, rate);
                const double a1 = c.a1, a2 = c.a2;
                ASSERT_TRUE(a2 < 1.0 && 1.0 + a1 + a2 > 0.0 && 1.0 - a1 + a2 > 0.0)
                    << rate << " Hz, width " << w << ", " << f << " Hz";
                if (rate <= 192000.0f) {
                    float ref[5];
                    ReferenceEffect::designBandPass(f, w, rate, ref);
                    ASSERT_EQ(c.a1, ref[3]) << rate << " " << w << " " << f;
                    ASSERT_EQ(c.a2, ref[4]);
                    ASSERT_EQ(c.b0, ref[0]);
                }
            }
        }
    }
}

// The engine designs a bank eight bands at a time, on each instruction set,
// and repairs only the bands it flags: every coefficient must be the one
// the single-band design gives, also after a change of the width alone.
TEST(FilterDesign, BankDesignMatchesTheBandDesignOnEveryInstructionSet) {
    struct Set {
        const char* name;
        kernel::DesignFunction design;
        bool present;
    };
#if HALVORINE_NEON
    std::vector<Set> sets = {{"neon", &kernel::designBankNeon, true},
                             {"plain", &kernel::designBankPlain, true}};
#else
    std::vector<Set> sets = {{"sse2", &kernel::designBankSse2, true}};
#endif
#if HALVORINE_WIDE_SIMD
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    sets.push_back({"avx2", &kernel::designBankAvx2, avx2});
    sets.push_back({"avx512", &kernel::designBankAvx512, avx2 && __builtin_cpu_supports("avx512f")});
#endif
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float rates[] = {8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 384000.0f,
                           768000.0f};
    for (const Set& set : sets) {
        if (!set.present) continue;
        SCOPED_TRACE(set.name);
        static kernel::Bank bank;
        for (int trial = 0; trial < 400; ++trial) {
            const float start = trial % 7 == 0 ? 0.0f : unit(rng);
            const float finish = trial % 5 == 0 ? 1.0f : unit(rng);
            const float rate = rates[trial % 8];
            for (int pass = 0; pass < 2; ++pass) {  // the second keeps the centres
                const float width = trial % 11 == 0 ? static_cast<float>(pass) : unit(rng);
                std::uint64_t flagged = set.design(bank, start, finish, width, rate, pass == 1);
                for (int band = 0; band < 64; ++band) {
                    BandCoefficients got{F(bank.b0[band]), 0.0f, F(bank.b2[band]),
                                         F(bank.a1[band]), F(bank.a2[band])};
                    if (flagged >> band & 1) keepStable(got);
                    const BandCoefficients want = designBand(
                        kFilterBandPass, bandFrequency(start, finish, band, 63), width, rate);
                    ASSERT_TRUE(bitsOf(got.b0) == bitsOf(want.b0) && bitsOf(got.b2) == bitsOf(want.b2) &&
                                bitsOf(got.a1) == bitsOf(want.a1) && bitsOf(got.a2) == bitsOf(want.a2))
                        << "band " << band << " of " << start << ".." << finish << ", width "
                        << width << " at " << rate << " Hz";
                }
            }
        }
    }
}

TEST(Reference, InitialStateMatchesTheKnownValues) {
    ReferenceEffect ref;
    EXPECT_NEAR(ref.boost(), 3.16259f, 1e-5);
    EXPECT_EQ(ref.shift(), 31);
    EXPECT_NEAR(ref.centreFrequency(0, 0), 20.002f, 1e-4);
    EXPECT_NEAR(ref.centreFrequency(1, 31), 605.80f, 0.01);
    EXPECT_NEAR(ref.centreFrequency(1, 63), 20482.05f, 0.01);
    ref.setParameter(6, 1.0f);
    EXPECT_EQ(ref.shift(), 63);
    ref.setParameter(6, 0.25f);
    EXPECT_EQ(ref.shift(), 15);
    ref.setParameter(0, 0.5f);
    ref.setParameter(1, 0.5f);
    for (int band = 0; band < 64; ++band) EXPECT_NEAR(ref.centreFrequency(0, band), 640.064f, 0.001);
}
