// The sample loop in AVX2: four doubles or eight floats per vector, and
// fused multiply-adds in the filter step, where the product (a float times
// a float) is exact in double and so the fused result rounds the same.
#include <immintrin.h>

#include "ring_kernel.h"

namespace halvorine::dsp::kernel {
namespace {

struct V {
    static constexpr int WD = 4, WF = 8;
    static constexpr int DL = 4;  // lanes of the bank design
    static constexpr int kRegisters = sizeof(void*) == 8 ? 16 : 8;  // vector registers
    using D = __m256d;
    using H = __m128;
    using Fv = __m256;

    static D loadD(const double* p) { return _mm256_load_pd(p); }
    static void storeD(double* p, D v) { _mm256_store_pd(p, v); }
    static D setD(double x) { return _mm256_set1_pd(x); }
    static D addD(D a, D b) { return _mm256_add_pd(a, b); }
    static D mulD(D a, D b) { return _mm256_mul_pd(a, b); }
    static D madd(D a, D b, D c) { return _mm256_fmadd_pd(a, b, c); }
    static D nmsub(D a, D b, D c) { return _mm256_fnmadd_pd(a, b, c); }
    static H toH(D v) { return _mm256_cvtpd_ps(v); }
    static void storeH(float* p, H h) { _mm_store_ps(p, h); }
    static D widen(H h) { return _mm256_cvtps_pd(h); }
    static D loadAsD(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }

    static Fv loadF(const float* p) { return _mm256_load_ps(p); }
    static Fv loadFu(const float* p) { return _mm256_loadu_ps(p); }
    static void storeFu(float* p, Fv v) { _mm256_storeu_ps(p, v); }
    static Fv mulF(Fv a, Fv b) { return _mm256_mul_ps(a, b); }
    static Fv addF(Fv a, Fv b) { return _mm256_add_ps(a, b); }
    static Fv setF(float x) { return _mm256_set1_ps(x); }
    static Fv zeroF() { return _mm256_setzero_ps(); }
    static unsigned nonFinite(Fv v) {
        const Fv d = _mm256_sub_ps(v, v);
        return static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(d, d, _CMP_UNORD_Q)));
    }
    static void transpose(Fv r[8]) {
        Fv t[8], u[8];
        for (int i = 0; i < 8; i += 2) {
            t[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
            t[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
        }
        for (int i = 0; i < 8; i += 4) {
            u[i] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
            u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
            u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
            u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
        }
        for (int c = 0; c < 4; ++c) {
            r[c] = _mm256_permute2f128_ps(u[c], u[c + 4], 0x20);
            r[c + 4] = _mm256_permute2f128_ps(u[c], u[c + 4], 0x31);
        }
    }
};

#include "ring_kernel_impl.h"

}  // namespace

void processBlockAvx2(State& s, const float* in0, const float* in1, float* out0, float* out1,
                      int frames, bool accumulate) {
    processBlockImpl(s, in0, in1, out0, out1, frames, accumulate);
}

unsigned long long designBankAvx2(Bank& b, float start, float finish, float width, float rate,
                              bool keepCentres) {
    return designBankImpl(b, start, finish, width, rate, keepCentres);
}

}  // namespace halvorine::dsp::kernel
