// Rounding a double to an integer, the one helper for the engine, the
// editor and the host binding.
#pragma once

#include <cmath>
#include <cstdint>

namespace halvorine::dsp {

// Nearest integer to x, halves to the even neighbour, whatever the
// floating-point rounding mode the host left behind. Values beyond the
// 32-bit range saturate and not-a-number gives 0, so a value from a host
// can never make the conversion undefined.
inline std::int32_t roundHalfEven(double x) {
    if (!(x == x)) return 0;
    if (x >= 2147483647.0) return INT32_MAX;
    if (x <= -2147483648.0) return INT32_MIN;
    const double f = std::floor(x);
    const double diff = x - f;
    double r = f;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(f, 2.0) != 0.0)) r = f + 1.0;
    if (r >= 2147483647.0) return INT32_MAX;
    return static_cast<std::int32_t>(r);
}

}  // namespace halvorine::dsp
