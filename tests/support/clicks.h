// How much a step of a parameter clicks: the largest sample-to-sample
// change within 20 ms either side of the step, against the largest such
// change in the steady sound 20 ms before the step or 20 to 40 ms after it.
// A step that glides stays within about 1; a jump is many times that.
// For a run of steps the window spans from 20 ms before the first to 20 ms
// after the last. With order 2 the change measured is the second
// difference, x[i] - 2 x[i-1] + x[i-2]: a fade that restarts from a value
// other than the one playing bends the sound even where it does not jump.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace halvorine::test {

inline double largestChange(const std::vector<float>& x, long from, long to, int order = 1) {
    double largest = 0.0;
    for (long i = std::max(from, 2L); i < to && i < static_cast<long>(x.size()); ++i) {
        const double d = static_cast<double>(x[i]) - x[i - 1];
        largest = std::max(largest, std::fabs(order == 1 ? d : d - (static_cast<double>(x[i - 1]) - x[i - 2])));
    }
    return largest;
}

inline double clickRatio(const std::vector<float>& out, long first, long last, double rate,
                         int order) {
    const long w = std::lround(0.02 * rate);
    const double steady = std::max(largestChange(out, first - w, first, order),
                                   largestChange(out, last + w, last + 2 * w, order));
    return largestChange(out, first - w, last + w, order) / steady;
}

inline double clickRatio(const std::vector<float>& out, long step, double rate) {
    return clickRatio(out, step, step, rate, 1);
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
// A run of steps: `steps` equal steps `every` frames apart, and with `back`
// the value before them again that many frames after the last.
struct Step {
    const char* name;
    int slot;
    float from, to;
    float boost;
    int steps = 1, every = 0, back = 0;
};
inline constexpr Step kSteps[] = {
    {"BoostFromMinus8To20dB", 8, 0.3f, 1.0f, 0.3f},
    {"MixFrom0To1", 7, 0.0f, 1.0f, 0.3f},
    {"ShiftBy20Bands", 6, 0.5f / 63, 20.5f / 63, 0.75f},
};
// Shift changes while the shift still fades from the one before.
inline constexpr Step kShiftRuns[] = {
    {"ShiftBy20BandsAndBackAfter64", 6, 0.5f / 63, 20.5f / 63, 0.75f, 1, 0, 64},
    {"ShiftBy20BandsAndBackAfter128", 6, 0.5f / 63, 20.5f / 63, 0.75f, 1, 0, 128},
    {"ShiftBy20BandsAndBackAfter256", 6, 0.5f / 63, 20.5f / 63, 0.75f, 1, 0, 256},
    {"ShiftAutomatedEvery64Frames", 6, 0.5f / 63, 20.5f / 63, 0.75f, 20, 64, 0},
};

}  // namespace halvorine::test
