// The oscillator loop in scalar code, one oscillator at a time (the
// compiler may vectorise what it can): every target's default, and the
// yardstick of the wider versions.
#include "carrier_voice.h"

namespace halvorine::dsp::voice {

void oscillatePlain(Oscillators& o, const float* gain, float* sum, int n) {
    float x[3][kMaxFrames];
    for (int k = 0; k < 3; ++k) {
        const float* t = o.table[k];
        const int shift = 32 - o.bits[k];
        // The fraction's 24 bits are the phase's low 32 - bits, which are
        // fewer than 24: (p & mask) / 2^shift is the same float, exactly.
        const std::uint32_t mask = (1u << shift) - 1;
        const float scale = 1.0f / static_cast<float>(1u << shift);
        const std::uint32_t step = o.increment[k];
        std::uint32_t p = o.phase[k];
        float* out = x[k];
        for (int i = 0; i < n; ++i) {
            const std::uint32_t j = p >> shift;
            const float f = static_cast<float>(static_cast<std::int32_t>(p & mask)) * scale;
            out[i] = t[j] + f * (t[j + 1] - t[j]);
            p += step;
        }
        o.phase[k] = p;
    }
    for (int i = 0; i < n; ++i) sum[i] += gain[i] * ((x[0][i] + x[1][i]) + x[2][i]);
}

}  // namespace halvorine::dsp::voice
