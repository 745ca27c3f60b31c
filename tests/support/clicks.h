// How much a step of a parameter clicks: the largest sample-to-sample
// change within 20 ms either side of the step, against the largest such
// change in the steady sound 20 ms before the step or 20 to 40 ms after it.
// A step that glides stays within about 1; a jump is many times that.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace halvorine::test {

inline double largestChange(const std::vector<float>& x, long from, long to) {
    double largest = 0.0;
    for (long i = std::max(from, 1L); i < to && i < static_cast<long>(x.size()); ++i)
        largest = std::max(largest, std::fabs(static_cast<double>(x[i]) - x[i - 1]));
    return largest;
}

inline double clickRatio(const std::vector<float>& out, long step, double rate) {
    const long w = std::lround(0.02 * rate);
    const double steady =
        std::max(largestChange(out, step - w, step), largestChange(out, step + w, step + 2 * w));
    return largestChange(out, step - w, step + w) / steady;
}

// Low tones: the modulator at 110 Hz, the carrier at 165 Hz.
inline constexpr double kTwoPi = 6.283185307179586;
inline void lowTones(std::vector<float>& mod, std::vector<float>& car, long frames, double rate) {
    mod.resize(static_cast<std::size_t>(frames));
    car.resize(static_cast<std::size_t>(frames));
    for (long i = 0; i < frames; ++i) {
        mod[static_cast<std::size_t>(i)] = static_cast<float>(0.5 * std::sin(kTwoPi * 110.0 * i / rate));
        car[static_cast<std::size_t>(i)] = static_cast<float>(0.5 * std::sin(kTwoPi * 165.0 * i / rate));
    }
}

// The steps that used to click: slot, normalised value before and after,
// and the boost meanwhile. The shift is 0 unless it is the one that steps
// (each band with itself: the products of low tones are low too). The mix
// passes through the processed sound alone on its way from the modulator
// to the carrier, so that sound is kept at the tones' level (-8 dB).
struct Step {
    const char* name;
    int slot;
    float from, to;
    float boost;
};
inline constexpr Step kSteps[] = {
    {"BoostFromMinus8To20dB", 8, 0.3f, 1.0f, 0.3f},
    {"MixFrom0To1", 7, 0.0f, 1.0f, 0.3f},
    {"ShiftBy20Bands", 6, 0.5f / 63, 20.5f / 63, 0.75f},
};

}  // namespace halvorine::test
