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
    return c;
}

}  // namespace halvorine::dsp
