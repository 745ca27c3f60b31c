// Spectra of rendered notes, for the carrier synth's checks: how far the
// worst component off a note's harmonics stays under the fundamental, and
// how much of a short window's energy falls between the harmonics.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace halvorine::test {

// Power spectrum (bins 0..n/2) of x windowed by a four-term
// Blackman-Harris (sidelobes under -92 dB) or Hann window; x.size() must be
// a power of two.
inline std::vector<double> powerSpectrum(const std::vector<float>& x, bool blackmanHarris) {
    const std::size_t n = x.size();
    std::vector<std::complex<double>> a(n);
    const double pi = 3.141592653589793;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * pi * static_cast<double>(i) / static_cast<double>(n);
        const double w = blackmanHarris
                             ? 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t)
                             : 0.5 - 0.5 * std::cos(t);
        a[i] = w * static_cast<double>(x[i]);
    }
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * pi / static_cast<double>(len));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (std::size_t k = 0; k < len / 2; ++k, w *= step) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
    std::vector<double> p(n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k) p[k] = std::norm(a[k]);
    return p;
}

// Whether bin k lies within `width` bins of a harmonic of f.
inline bool nearHarmonic(std::size_t k, double f, double binHz, double width) {
    const double h = std::round(static_cast<double>(k) * binHz / f);
    return h >= 1.0 && std::fabs(static_cast<double>(k) - h * f / binHz) <= width;
}

// The strongest bin off the harmonics of f, in dB under the fundamental's
// peak (Blackman-Harris; 6 bins either side of each harmonic are its own).
inline double worstOffHarmonic(const std::vector<float>& x, double f, double rate) {
    const std::vector<double> p = powerSpectrum(x, true);
    const double binHz = rate / static_cast<double>(x.size());
    double fundamental = 0.0, worst = 1e-300;
    for (std::size_t k = 1; k < p.size(); ++k) {
        if (nearHarmonic(k, f, binHz, 6.0)) {
            if (std::fabs(k * binHz - f) <= 6.0 * binHz) fundamental = std::max(fundamental, p[k]);
        } else if (k * binHz > 20.0) {
            worst = std::max(worst, p[k]);
        }
    }
    return 10.0 * std::log10(worst / fundamental);
}

// Energy between the harmonics of f against the energy on them (within
// 8 bins), in dB, over a Hann window of x. A note of 10 harmonics at
// 2093 Hz in 1024 frames at 44.1 kHz, gated at the window's middle, gives
// -15 dB; faded in linearly over 1 ms -20 dB, over 5 ms -35 dB.
inline double betweenHarmonics(const std::vector<float>& x, double f, double rate) {
    const std::vector<double> p = powerSpectrum(x, false);
    const double binHz = rate / static_cast<double>(x.size());
    double on = 1e-300, off = 1e-300;
    for (std::size_t k = 1; k < p.size(); ++k) (nearHarmonic(k, f, binHz, 8.0) ? on : off) += p[k];
    return 10.0 * std::log10(off / on);
}

}  // namespace halvorine::test
