// The oscillator loop in AVX2: eight frames of an oscillator at a time.
// Each frame's two table samples come as one 64-bit load, broadcast and
// blended into place (a gather is far slower on processors patched against
// gather data sampling); the arithmetic is the plain loop's float
// operations per sample, in lanes, so the bits are the same.
#include <immintrin.h>

#include <cstring>

#include "carrier_voice.h"

namespace halvorine::dsp::voice {
namespace {

// The samples t[j] and t[j + 1], as one double's bits in every lane.
inline __m256d pair(const float* t, std::uint32_t j) {
    double d;
    std::memcpy(&d, t + j, sizeof d);
    return _mm256_set1_pd(d);
}

// One oscillator's n frames into x (rounded up to whole vectors), the
// shift a constant (a shift by a variable count costs more).
template <int kShift>
void oscillator(const float* t, std::uint32_t& phase, std::uint32_t step, float* x, int n) {
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i mask = _mm256_set1_epi32((1 << kShift) - 1);
    const __m256 scale = _mm256_set1_ps(1.0f / static_cast<float>(1 << kShift));
    const __m256i step8 = _mm256_set1_epi32(static_cast<int>(8 * step));
    const __m256i steps = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(static_cast<int>(step)));
    __m256i p = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(phase)), steps);
    std::uint32_t q = phase;
    for (int i = 0; i < n; i += 8) {
        const __m256 f = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_and_si256(p, mask)), scale);
        // Frames 0, 1, 4, 5 in one vector and 2, 3, 6, 7 in the other, so
        // that the even and the odd floats of both are t[j] and t[j + 1]
        // of frames 0..7 in order.
        std::uint32_t j[8];
        for (int m = 0; m < 8; ++m) {
            j[m] = q >> kShift;
            q += step;
        }
        const __m256d u = _mm256_blend_pd(_mm256_blend_pd(pair(t, j[0]), pair(t, j[1]), 2),
                                          _mm256_blend_pd(pair(t, j[4]), pair(t, j[5]), 8), 12);
        const __m256d v = _mm256_blend_pd(_mm256_blend_pd(pair(t, j[2]), pair(t, j[3]), 2),
                                          _mm256_blend_pd(pair(t, j[6]), pair(t, j[7]), 8), 12);
        const __m256 a = _mm256_shuffle_ps(_mm256_castpd_ps(u), _mm256_castpd_ps(v), 0x88);
        const __m256 b = _mm256_shuffle_ps(_mm256_castpd_ps(u), _mm256_castpd_ps(v), 0xDD);
        _mm256_storeu_ps(x + i, _mm256_add_ps(a, _mm256_mul_ps(f, _mm256_sub_ps(b, a))));
        p = _mm256_add_epi32(p, step8);
    }
    phase += static_cast<std::uint32_t>(n) * step;
}

}  // namespace

void oscillateAvx2(Oscillators& o, const float* gain, float* sum, int n) {
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
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 x01 = _mm256_add_ps(_mm256_loadu_ps(x[0] + i), _mm256_loadu_ps(x[1] + i));
        const __m256 s = _mm256_add_ps(x01, _mm256_loadu_ps(x[2] + i));
        const __m256 g = _mm256_loadu_ps(gain + i);
        _mm256_storeu_ps(sum + i, _mm256_add_ps(_mm256_loadu_ps(sum + i), _mm256_mul_ps(g, s)));
    }
    for (; i < n; ++i) sum[i] += gain[i] * ((x[0][i] + x[1][i]) + x[2][i]);
}

}  // namespace halvorine::dsp::voice
