// The sample loop in AVX2: four doubles or eight floats per vector, and
// fused multiply-adds in the filter step, where the product (a float times
// a float) is exact in double and so the fused result rounds the same.
#include <immintrin.h>

#include "ring_kernel.h"

namespace halvorine::dsp::kernel {
namespace {

#include "ring_kernel_ymm.h"

struct V : YmmFloats {
    static constexpr int WD = 4, WF = 8;
    static constexpr int DL = 4;  // lanes of the bank design
    static constexpr int kRegisters = sizeof(void*) == 8 ? 16 : 8;  // vector registers
    using D = __m256d;
    using H = __m128;

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
    static void storeHu(float* p, H h) { _mm_storeu_ps(p, h); }
    static D subD(D a, D b) { return _mm256_sub_pd(a, b); }
    static D divD(D a, D b) { return _mm256_div_pd(a, b); }
    using MD = __m256d;
    static MD ltD(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static D selectD(MD m, D a, D b) { return _mm256_blendv_pd(a, b, m); }

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
