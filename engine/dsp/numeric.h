// The engine's numeric helpers.
//
// Arithmetic convention: intermediates are doubles; F(x) marks every point
// where a result is stored as a 32-bit float. Nothing here depends on the
// floating-point rounding mode or on the C library's transcendental
// functions, so every target computes the same bits.
#pragma once

#include <cmath>

#include "detmath.h"
#include "rounding.h"

namespace halvorine::dsp {

// The offset added to inputs, filter outputs and coefficients to keep
// silent passages away from denormal numbers.
inline constexpr double kDenormalOffset = 1e-12;

// x rounded to the nearest 32-bit float.
inline float F(double x) { return static_cast<float>(x); }

// The integer nearest to x - 0.4999999: for x >= 0 the integer part of x,
// except that a fraction of 0.9999999 or more gives the next integer.
inline int roundDown(float x) { return roundHalfEven(static_cast<double>(x) - 0.4999999); }

// 2^x with the engine's small exponent offset: pow2(0) = 1.0001.
inline float pow2(float x) {
    return F(detExp(static_cast<double>(x) * 0.6931472 + 0.0001) + kDenormalOffset);
}

// 10^x with the same offset: pow10(0) = 1.0001.
inline float pow10(float x) {
    return F(detExp(static_cast<double>(x) * 2.302585 + 0.0001) + kDenormalOffset);
}

// Frames over which a change glides, and the bypass fades: 10 ms,
// N = round(rate / 100), at least 1 and at most a million (a rate past
// 100 MHz is no audio rate; the bound keeps frame counts far from
// overflowing).
inline int glideFrames(double rate) {
    const std::int32_t n = roundHalfEven(rate / 100.0);
    return n < 1 ? 1 : n > 1000000 ? 1000000 : n;
}

// Gain of a normalised level control: exactly 0 at v = 0, otherwise
// 10^((v * range - offset) / 20).
inline float dbToGain(float v, float range, float offset) {
    if (v == 0.0f) return 0.0f;
    const float d = F(static_cast<double>(v) * range - offset);
    return pow10(F(static_cast<double>(d) / 20.0));
}

}  // namespace halvorine::dsp
