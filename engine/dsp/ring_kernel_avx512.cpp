// The sample loop in AVX-512: eight doubles or sixteen floats (eight in
// 32-bit mode) per vector, and fused multiply-adds in the filter step,
// where they are exact.
// GCC 12's AVX-512 intrinsics start some results from a deliberately
// undefined vector, which its flow analysis reports as uninitialised.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>

#include "ring_kernel.h"

namespace halvorine::dsp::kernel {
namespace {

#if defined(__x86_64__)
// The band sums' float operations on 512-bit vectors, sixteen frames a
// vector.
struct ZmmFloats {
    using Fv = __m512;

    static Fv loadF(const float* p) { return _mm512_load_ps(p); }
    static Fv loadFu(const float* p) { return _mm512_loadu_ps(p); }
    static void storeFu(float* p, Fv v) { _mm512_storeu_ps(p, v); }
    static Fv mulF(Fv a, Fv b) { return _mm512_mul_ps(a, b); }
    static Fv addF(Fv a, Fv b) { return _mm512_add_ps(a, b); }
    static Fv setF(float x) { return _mm512_set1_ps(x); }
    static Fv zeroF() { return _mm512_setzero_ps(); }
    static unsigned nonFinite(Fv v) {
        const Fv d = _mm512_sub_ps(v, v);
        return static_cast<unsigned>(_mm512_cmp_ps_mask(d, d, _CMP_UNORD_Q));
    }
    // Rows 4q..4q+3 are first transposed within each 128-bit lane; then
    // the lanes are gathered across the four groups.
    static void transpose(Fv r[16]) {
        Fv t[16], u[16];
        for (int i = 0; i < 16; i += 2) {
            t[i] = _mm512_unpacklo_ps(r[i], r[i + 1]);
            t[i + 1] = _mm512_unpackhi_ps(r[i], r[i + 1]);
        }
        // u[4q + c]: rows 4q..4q+3 of columns c, c + 4, c + 8, c + 12, one
        // column per 128-bit lane.
        for (int q = 0; q < 16; q += 4) {
            u[q] = _mm512_shuffle_ps(t[q], t[q + 2], _MM_SHUFFLE(1, 0, 1, 0));
            u[q + 1] = _mm512_shuffle_ps(t[q], t[q + 2], _MM_SHUFFLE(3, 2, 3, 2));
            u[q + 2] = _mm512_shuffle_ps(t[q + 1], t[q + 3], _MM_SHUFFLE(1, 0, 1, 0));
            u[q + 3] = _mm512_shuffle_ps(t[q + 1], t[q + 3], _MM_SHUFFLE(3, 2, 3, 2));
        }
        for (int c = 0; c < 4; ++c) {
            const Fv a = u[c], b = u[4 + c], cc = u[8 + c], d = u[12 + c];
            const Fv ab01 = _mm512_shuffle_f32x4(a, b, 0x44), ab23 = _mm512_shuffle_f32x4(a, b, 0xEE);
            const Fv cd01 = _mm512_shuffle_f32x4(cc, d, 0x44), cd23 = _mm512_shuffle_f32x4(cc, d, 0xEE);
            r[c] = _mm512_shuffle_f32x4(ab01, cd01, 0x88);
            r[c + 4] = _mm512_shuffle_f32x4(ab01, cd01, 0xDD);
            r[c + 8] = _mm512_shuffle_f32x4(ab23, cd23, 0x88);
            r[c + 12] = _mm512_shuffle_f32x4(ab23, cd23, 0xDD);
        }
    }
};
using FloatOps = ZmmFloats;
#else
#include "ring_kernel_ymm.h"
using FloatOps = YmmFloats;
#endif

// The band sums take 16 frames a vector, or in 32-bit mode, eight.
struct V : FloatOps {
#if defined(__x86_64__)
    static constexpr int WD = 8, WF = 16;
#else
    static constexpr int WD = 8, WF = 8;
#endif
    static constexpr int DL = 8;  // lanes of the bank design
    static constexpr int kRegisters = sizeof(void*) == 8 ? 32 : 8;  // vector registers
    using D = __m512d;
    using H = __m256;

    static D loadD(const double* p) { return _mm512_load_pd(p); }
    static void storeD(double* p, D v) { _mm512_store_pd(p, v); }
    static D setD(double x) { return _mm512_set1_pd(x); }
    static D addD(D a, D b) { return _mm512_add_pd(a, b); }
    static D mulD(D a, D b) { return _mm512_mul_pd(a, b); }
    static D madd(D a, D b, D c) { return _mm512_fmadd_pd(a, b, c); }
    static D nmsub(D a, D b, D c) { return _mm512_fnmadd_pd(a, b, c); }
    static H toH(D v) { return _mm512_cvtpd_ps(v); }
    static void storeH(float* p, H h) { _mm256_store_ps(p, h); }
    static D widen(H h) { return _mm512_cvtps_pd(h); }
    static D loadAsD(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
};

#include "ring_kernel_impl.h"

}  // namespace

void processBlockAvx512(State& s, const float* in0, const float* in1, float* out0, float* out1,
                        int frames, bool accumulate) {
    processBlockImpl(s, in0, in1, out0, out1, frames, accumulate);
}

unsigned long long designBankAvx512(Bank& b, float start, float finish, float width, float rate,
                              bool keepCentres) {
    return designBankImpl(b, start, finish, width, rate, keepCentres);
}

}  // namespace halvorine::dsp::kernel
