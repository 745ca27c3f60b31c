#include "filter_design.h"

#include <cmath>

#include "numeric.h"

namespace halvorine::dsp {

float bandFrequency(float start, float finish, int band, int lastBand) {
    const double p0 = start;
    const double p1 = finish;
    const float t = F(p0 + (p1 - p0) * band / static_cast<double>(lastBand));
    return F(static_cast<double>(pow2(F(10.0 * t))) * 20.0);
}

BandCoefficients designBand(int type, float f, float w, float rate) {
    if (!(w <= 0.99f)) w = F(0.99);  // not-a-number included
    if (w < 0.005f) w = F(0.005);
    const float fLimit = F(0.49 * rate);
    if (f > fLimit) f = fLimit;

    const float bw = F(static_cast<double>(w) * f / rate);
    const float fn = F(static_cast<double>(f) / rate + kDenormalOffset);

    double b0 = 0.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    switch (type) {
        case kFilterBandPass: {
            const double angle = 3.14159 * bw;
            const float K = F(detCos(angle) / detSin(angle));
            const float D = F(2.0 * detCos(6.28318 * fn) + kDenormalOffset);
            const float A = F(1.0 / (1.00000001 + K));
            b0 = A;
            b1 = 0.0;
            b2 = F(-static_cast<double>(A));
            a1 = F(-static_cast<double>(K) * D * A);
            a2 = F((static_cast<double>(K) - 1.0) * A);
            break;
        }
        case kFilterLow:
        case kFilterHigh: {
            const float q = F(std::fabs(1.0 - w) * std::sqrt(8.0));
            const double angle = 3.14159 * fn;
            const bool low = type == kFilterLow;
            const float K = low ? F(detCos(angle) / (detSin(angle) + 0.005))
                                : F(detSin(angle) / (detCos(angle) + 0.005));
            const double KK = static_cast<double>(K) * K;
            const float A = F(1.0 / (static_cast<double>(q) * K + (low ? 1.001 : 1.0001) + KK));
            b0 = A;
            b1 = F((low ? 2.0 : -2.0) * A);
            b2 = A;
            a1 = F((low ? (1.0 - KK) : (KK - 1.0)) * 2.0 * A);
            a2 = F((1.0 - static_cast<double>(q) * K + KK) * A);
            break;
        }
        case kFilterBandReject: {
            const double angle = 3.14159 * bw;
            const float K = F(detSin(angle) / (detCos(angle) + 0.005));
            const float E = F(2.0 * detCos(6.28318 * fn));
            const float A = F(1.0 / (1.0001 + K));
            b0 = A;
            b1 = F(-static_cast<double>(E) * A);
            b2 = A;
            a1 = F(-static_cast<double>(E) * A);
            a2 = F((1.0 - K) * A);
            break;
        }
        default: break;  // "Off", "Bypass" and unknown types: all zero
    }

    BandCoefficients c;
    c.b0 = F(b0 + kDenormalOffset);
    c.b1 = F(b1 + kDenormalOffset);
    c.b2 = F(b2 + kDenormalOffset);
    c.a1 = F(a1 + kDenormalOffset);
    c.a2 = F(a2 + kDenormalOffset);
    keepStable(c);
    return c;
}

namespace {

// The least distance of the feedback polynomial 1 + a1/z + a2/z^2 from zero
// at z = 1 and z = -1, and of a2 from 1, that float state still decays
// with. Every band designed at up to 192 kHz keeps more than this.
constexpr double kStabilityMargin = 2.5e-7;

}  // namespace

void keepStable(BandCoefficients& c) {
    // Poles inside the circle: a2 < 1, 1 + a1 + a2 > 0 and 1 - a1 + a2 > 0.
    if (!(static_cast<double>(c.a2) <= 1.0 - kStabilityMargin))
        c.a2 = F(1.0 - 2.0 * kStabilityMargin);
    if (!(-1.0 + kStabilityMargin <= static_cast<double>(c.a2)))
        c.a2 = F(-1.0 + 2.0 * kStabilityMargin);
    const double a2 = c.a2;
    if (!(1.0 + c.a1 + a2 >= kStabilityMargin)) {  // a pole at or beyond z = 1
        c.a1 = F(kStabilityMargin - 1.0 - a2);
        while (!(1.0 + c.a1 + a2 >= kStabilityMargin)) c.a1 = std::nextafter(c.a1, 2.0f);
    }
    if (!(1.0 - c.a1 + a2 >= kStabilityMargin)) {  // a pole at or beyond z = -1
        c.a1 = F(1.0 + a2 - kStabilityMargin);
        while (!(1.0 - c.a1 + a2 >= kStabilityMargin)) c.a1 = std::nextafter(c.a1, -2.0f);
    }
}

}  // namespace halvorine::dsp
