// The sample loop in AVX-512: the filters on eight doubles a vector, with
// fused multiply-adds where they are exact; the band sums on 256-bit
// vectors of eight floats.
// GCC 12's AVX-512 intrinsics start some results from a deliberately
// undefined vector, which its flow analysis reports as uninitialised.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>

#include "ring_kernel.h"

namespace halvorine::dsp::kernel {
namespace {

#include "ring_kernel_ymm.h"

// The band sums take eight frames a vector: a 16-row transposition of
// 512-bit vectors costs more per float than 8-row ones of 256-bit vectors.
struct V : YmmFloats {
    static constexpr int WD = 8, WF = 8;
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
    static void storeHu(float* p, H h) { _mm256_storeu_ps(p, h); }
    static D subD(D a, D b) { return _mm512_sub_pd(a, b); }
    static D divD(D a, D b) { return _mm512_div_pd(a, b); }
    using MD = __mmask8;
    static MD ltD(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static D selectD(MD m, D a, D b) { return _mm512_mask_blend_pd(m, a, b); }
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
