// The oscillator loop in scalar code, one oscillator at a time (the
// compiler may vectorise what it can): every target's default, and the
// yardstick of the wider versions.
#include "carrier_voice.h"

namespace halvorine::dsp::voice {

namespace {

// One oscillator's n frames into x, the shift a constant (cheaper than a
// shift by a count held in a register).
template <int kShift>
void oscillator(const float* t, std::uint32_t& phase, std::uint32_t step, float* x, int n) {
    // The fraction's 24 bits are the phase's low kShift bits, which are
    // fewer than 24: (p & mask) / 2^kShift is the same float, exactly.
    constexpr std::uint32_t kMask = (1u << kShift) - 1;
    constexpr float kScale = 1.0f / static_cast<float>(1u << kShift);
    std::uint32_t p = phase;
    for (int i = 0; i < n; ++i) {
        const std::uint32_t j = p >> kShift;
        const float f = static_cast<float>(static_cast<std::int32_t>(p & kMask)) * kScale;
        x[i] = t[j] + f * (t[j + 1] - t[j]);
        p += step;
    }
    phase = p;
}

}  // namespace

void oscillatePlain(Oscillators& o, const float* gain, float* sum, int n) {
    float x[3][kMaxFrames];
    for (int k = 0; k < 3; ++k) {
        const float* t = o.table[k];
        switch (o.bits[k]) {
            case 11: oscillator<21>(t, o.phase[k], o.increment[k], x[k], n); break;
            case 12: oscillator<20>(t, o.phase[k], o.increment[k], x[k], n); break;
            case 13: oscillator<19>(t, o.phase[k], o.increment[k], x[k], n); break;
            default: oscillator<18>(t, o.phase[k], o.increment[k], x[k], n); break;
        }
    }
    for (int i = 0; i < n; ++i) sum[i] += gain[i] * ((x[0][i] + x[1][i]) + x[2][i]);
}

}  // namespace halvorine::dsp::voice
