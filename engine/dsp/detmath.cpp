#include "detmath.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace halvorine::dsp {
namespace {

std::uint64_t bitsOf(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double fromBits(std::uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

std::uint32_t highWord(double x) { return static_cast<std::uint32_t>(bitsOf(x) >> 32); }

// 2^k for k in the normal range, built exactly.
double twoTo(int k) { return fromBits(static_cast<std::uint64_t>(k + 1023) << 52); }

// Multiplies by 2^k; exact whenever the result is a normal number.
double scaleByTwoTo(double y, int k) {
    if (k > 1023) return y * twoTo(1023) * twoTo(k - 1023);
    if (k < -1022) return y * twoTo(-1022) * twoTo(k + 1022);
    return y * twoTo(k);
}

// sin(x + y) for |x + y| <= pi/4, where y is the tail of a reduced argument.
double kernelSin(double x, double y, bool hasTail) {
    constexpr double S1 = -1.66666666666666324348e-01;
    constexpr double S2 = 8.33333333332248946124e-03;
    constexpr double S3 = -1.98412698298579493134e-04;
    constexpr double S4 = 2.75573137070700676789e-06;
    constexpr double S5 = -2.50507602534068634195e-08;
    constexpr double S6 = 1.58969099521155010221e-10;
    if ((highWord(x) & 0x7fffffffu) < 0x3e400000u) return x;  // |x| < 2^-27
    const double z = x * x;
    const double v = z * x;
    const double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    if (!hasTail) return x + v * (S1 + z * r);
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

// cos(x + y) for |x + y| <= pi/4.
double kernelCos(double x, double y) {
    constexpr double C1 = 4.16666666666666019037e-02;
    constexpr double C2 = -1.38888888888741095749e-03;
    constexpr double C3 = 2.48015872894767294178e-05;
    constexpr double C4 = -2.75573143513906633035e-07;
    constexpr double C5 = 2.08757232129817482790e-09;
    constexpr double C6 = -1.13596475577881948265e-11;
    const std::uint32_t ix = highWord(x) & 0x7fffffffu;
    if (ix < 0x3e400000u) return 1.0;  // |x| < 2^-27
    const double z = x * x;
    const double r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    if (ix < 0x3fd33333u) return 1.0 - (0.5 * z - (z * r - x * y));  // |x| < 0.3
    double qx;
    if (ix > 0x3fe90000u)  // |x| > 0.78125
        qx = 0.28125;
    else
        qx = fromBits(static_cast<std::uint64_t>(ix - 0x00200000u) << 32);  // about |x|/4
    const double hz = 0.5 * z - qx;
    const double a = 1.0 - qx;
    return a - (hz - (z * r - x * y));
}

// Reduces x to y0 + y1 in [-pi/4, pi/4] and returns the quadrant n mod 4.
// Three-part pi/2 keeps the reduction accurate far beyond the arguments the
// filter design uses.
int reduceQuarterPi(double x, double& y0, double& y1) {
    constexpr double invpio2 = 6.36619772367581382433e-01;
    constexpr double pio2_1 = 1.57079632673412561417e+00;
    constexpr double pio2_1t = 6.07710050650619224932e-11;
    constexpr double pio2_2 = 6.07710050630396597660e-11;
    constexpr double pio2_2t = 2.02226624879595063154e-21;
    constexpr double pio2_3 = 2.02226624871116645580e-21;
    constexpr double pio2_3t = 8.47842766036889956997e-32;

    const double ax = std::fabs(x);
    const double fn = std::floor(ax * invpio2 + 0.5);
    double r = ax - fn * pio2_1;
    double w = fn * pio2_1t;
    y0 = r - w;
    const int j = static_cast<int>((highWord(ax) >> 20) & 0x7ff);
    if (j - static_cast<int>((highWord(y0) >> 20) & 0x7ff) > 16) {
        double t = r;
        w = fn * pio2_2;
        r = t - w;
        w = fn * pio2_2t - ((t - r) - w);
        y0 = r - w;
        if (j - static_cast<int>((highWord(y0) >> 20) & 0x7ff) > 49) {
            t = r;
            w = fn * pio2_3;
            r = t - w;
            w = fn * pio2_3t - ((t - r) - w);
            y0 = r - w;
        }
    }
    y1 = (r - y0) - w;
    int n = static_cast<int>(std::fmod(fn, 4.0));
    if (x < 0) {
        y0 = -y0;
        y1 = -y1;
        n = (4 - n) & 3;
    }
    return n;
}

constexpr std::uint32_t kQuarterPiHigh = 0x3fe921fbu;  // |x| <= pi/4

}  // namespace

double detExp(double x) {
    constexpr double ln2HI = 6.93147180369123816490e-01;
    constexpr double ln2LO = 1.90821492927058770002e-10;
    constexpr double invln2 = 1.44269504088896338700e+00;
    constexpr double P1 = 1.66666666666666019037e-01;
    constexpr double P2 = -2.77777777770155933842e-03;
    constexpr double P3 = 6.61375632143793436117e-05;
    constexpr double P4 = -1.65339022054652515390e-06;
    constexpr double P5 = 4.13813679705723846039e-08;

    if (std::isnan(x)) return x;
    if (x > 709.782712893383973096) return std::numeric_limits<double>::infinity();
    if (x < -745.13321910194110842) return 0.0;

    const double ax = std::fabs(x);
    if (ax < 0x1p-28) return 1.0 + x;

    int k = 0;
    double hi = x;
    double lo = 0.0;
    if (ax > 0.5 * 0.6931471805599453) {
        k = static_cast<int>(std::floor(invln2 * x + 0.5));
        hi = x - k * ln2HI;
        lo = k * ln2LO;
    }
    const double r = hi - lo;
    const double t = r * r;
    const double c = r - t * (P1 + t * (P2 + t * (P3 + t * (P4 + t * P5))));
    if (k == 0) return 1.0 - ((r * c) / (c - 2.0) - r);
    const double y = 1.0 - ((lo - (r * c) / (2.0 - c)) - hi);
    return scaleByTwoTo(y, k);
}

double detSin(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    if ((highWord(x) & 0x7fffffffu) <= kQuarterPiHigh) return kernelSin(x, 0.0, false);
    double y0, y1;
    switch (reduceQuarterPi(x, y0, y1)) {
        case 0: return kernelSin(y0, y1, true);
        case 1: return kernelCos(y0, y1);
        case 2: return -kernelSin(y0, y1, true);
        default: return -kernelCos(y0, y1);
    }
}

double detCos(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    if ((highWord(x) & 0x7fffffffu) <= kQuarterPiHigh) return kernelCos(x, 0.0);
    double y0, y1;
    switch (reduceQuarterPi(x, y0, y1)) {
        case 0: return kernelCos(y0, y1);
        case 1: return -kernelSin(y0, y1, true);
        case 2: return -kernelCos(y0, y1);
        default: return kernelSin(y0, y1, true);
    }
}

}  // namespace halvorine::dsp
