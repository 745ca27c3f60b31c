#include "synth.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace halvorine::host {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The effect multiplies the two signals band by band, so its output grows
// with the square of the input level: at this peak the demo's output stays
// just below full scale with the default program.
constexpr double kPeak = 0.4;

// Deterministic noise, so every demo is the same.
class Noise {
public:
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t state_ = 0x9E3779B9u;
};

// Band-limited sawtooth (polyBLEP), -1..1.
class Saw {
public:
    explicit Saw(double phase = 0.0) : phase_(phase) {}
    double next(double increment) {
        double value = 2.0 * phase_ - 1.0 - blep(phase_, increment);
        phase_ += increment;
        if (phase_ >= 1.0) phase_ -= 1.0;
        return value;
    }

private:
    static double blep(double t, double dt) {
        if (t < dt) {
            t /= dt;
            return t + t - t * t - 1.0;
        }
        if (t > 1.0 - dt) {
            t = (t - 1.0) / dt;
            return t * t + t + t + 1.0;
        }
        return 0.0;
    }
    double phase_;
};

// Band-pass resonator with unit gain at its centre, retuned every sample.
class Resonator {
public:
    double next(double x, double freq, double bandwidth, double rate) {
        const double w = kTwoPi * freq / rate;
        const double alpha = std::sin(w) * bandwidth / (2.0 * freq);  // sin(w) / 2Q
        const double a0 = 1.0 + alpha;
        const double y = (alpha * x - alpha * x2_ + 2.0 * std::cos(w) * y1_ - (1.0 - alpha) * y2_) / a0;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

private:
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

struct Vowel {
    double f1, f2, f3;
};

void normalise(std::vector<float>& samples, double peak) {
    float max = 0.0f;
    for (float s : samples) max = std::max(max, std::fabs(s));
    if (max <= 0.0f) return;
    const auto gain = static_cast<float>(peak / max);
    for (float& s : samples) s *= gain;
}

// Smooths a stepped target towards its new value in about `seconds`.
double smoothing(double seconds, double rate) { return 1.0 - std::exp(-1.0 / (seconds * rate)); }

}  // namespace

std::vector<float> synthModulator(int sampleRate, double seconds) {
    const double rate = sampleRate;
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> out(frames);

    // Eighth notes at 120 bpm; a rest now and then keeps the rhythm audible.
    constexpr double kStep = 0.25;
    constexpr std::array<bool, 8> kSung = {true, true, true, false, true, true, false, true};
    constexpr std::array<double, 8> kPitch = {110.0, 130.81, 146.83, 146.83,
                                              164.81, 146.83, 123.47, 110.0};
    constexpr std::array<Vowel, 5> kVowels = {{
        {800, 1200, 2500},  // a
        {400, 2000, 2600},  // e
        {300, 2300, 3000},  // i
        {450, 800, 2800},   // o
        {325, 700, 2500},   // u
    }};
    constexpr std::array<int, 8> kVowelOrder = {0, 1, 2, 0, 3, 4, 1, 2};

    Saw glottis;
    Noise noise;
    std::array<Resonator, 3> formants;
    double f0 = kPitch[0];
    Vowel v = kVowels[0];
    double tilt = 0.0;
    double previousNoise = 0.0;
    const double glide = smoothing(0.03, rate);
    const double move = smoothing(0.05, rate);

    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const auto step = static_cast<std::size_t>(t / kStep);
        const double inStep = t - static_cast<double>(step) * kStep;
        const bool sung = kSung[step % kSung.size()];
        const Vowel& target = kVowels[static_cast<std::size_t>(kVowelOrder[step % kVowelOrder.size()])];

        f0 += (kPitch[step % kPitch.size()] - f0) * glide;
        v.f1 += (target.f1 - v.f1) * move;
        v.f2 += (target.f2 - v.f2) * move;
        v.f3 += (target.f3 - v.f3) * move;

        // Syllable envelope: 15 ms attack, 40 ms release, 200 ms long.
        double env = 0.0;
        if (sung) {
            env = std::min({1.0, inStep / 0.015, std::max(0.0, (0.2 - inStep) / 0.04)});
        }
        const double vibrato = 1.0 + 0.01 * std::sin(kTwoPi * 5.5 * t);
        tilt += (glottis.next(f0 * vibrato / rate) - tilt) * 0.25;  // softer, voice-like slope
        const double white = noise.next();
        const double source = tilt + 0.03 * white;

        double voice = formants[0].next(source, v.f1, 80.0, rate) +
                       0.5 * formants[1].next(source, v.f2, 100.0, rate) +
                       0.25 * formants[2].next(source, v.f3, 120.0, rate);
        voice *= env;

        // A short hiss at each syllable's start.
        if (sung && inStep < 0.03) {
            voice += 0.25 * (white - previousNoise) * std::exp(-inStep / 0.008);
        }
        previousNoise = white;
        out[i] = static_cast<float>(voice);
    }
    normalise(out, kPeak);
    return out;
}

std::vector<float> synthCarrier(int sampleRate, double seconds) {
    const double rate = sampleRate;
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> out(frames, 0.0f);

    constexpr double kChordSeconds = 1.5;
    constexpr std::array<std::array<double, 4>, 4> kChords = {{
        {110.00, 164.81, 220.00, 261.63},  // Am
        {87.31, 130.81, 174.61, 220.00},   // F
        {130.81, 196.00, 261.63, 329.63},  // C
        {98.00, 146.83, 196.00, 246.94},   // G
    }};
    constexpr std::array<double, 3> kDetuneCents = {-9.0, 0.0, 7.0};
    constexpr double kFade = 0.01;

    Noise phases;
    const auto chordFrames = static_cast<std::size_t>(kChordSeconds * rate);
    for (std::size_t start = 0, chord = 0; start < frames; start += chordFrames, ++chord) {
        const std::size_t end = std::min(frames, start + chordFrames);
        const auto& notes = kChords[chord % kChords.size()];
        for (double note : notes) {
            for (double cents : kDetuneCents) {
                Saw saw(0.5 + 0.5 * phases.next());
                const double increment = note * std::pow(2.0, cents / 1200.0) / rate;
                for (std::size_t i = start; i < end; ++i) {
                    const double t = static_cast<double>(i - start) / rate;
                    const double left = static_cast<double>(end - i) / rate;
                    const double env = std::min({1.0, t / kFade, left / kFade});
                    out[i] += static_cast<float>(saw.next(increment) * env);
                }
            }
        }
    }
    normalise(out, kPeak);
    return out;
}

}  // namespace halvorine::host
