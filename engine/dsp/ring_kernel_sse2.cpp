// The sample loop in SSE2: two doubles or four floats per vector. Every
// x86 target has it; it is the only version of the 32-bit builds.
#include <emmintrin.h>

#include "ring_kernel.h"

namespace halvorine::dsp::kernel {
namespace {

struct V {
    static constexpr int WD = 2, WF = 4;
    static constexpr int DL = 8;  // lanes of the bank design
    static constexpr int kRegisters = sizeof(void*) == 8 ? 16 : 8;  // vector registers
    using D = __m128d;
    using H = __m128;  // the low two lanes
    using Fv = __m128;

    static D loadD(const double* p) { return _mm_load_pd(p); }
    static void storeD(double* p, D v) { _mm_store_pd(p, v); }
    static D setD(double x) { return _mm_set1_pd(x); }
    static D addD(D a, D b) { return _mm_add_pd(a, b); }
    static D mulD(D a, D b) { return _mm_mul_pd(a, b); }
    static D madd(D a, D b, D c) { return _mm_add_pd(c, _mm_mul_pd(a, b)); }
    static D nmsub(D a, D b, D c) { return _mm_sub_pd(c, _mm_mul_pd(a, b)); }
    static H toH(D v) { return _mm_cvtpd_ps(v); }
    static void storeH(float* p, H h) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(h));
    }
    static D widen(H h) { return _mm_cvtps_pd(h); }
    static D loadAsD(const float* p) {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    static void storeHu(float* p, H h) { storeH(p, h); }
    static D subD(D a, D b) { return _mm_sub_pd(a, b); }
    static D divD(D a, D b) { return _mm_div_pd(a, b); }
    using MD = __m128d;
    static MD ltD(D a, D b) { return _mm_cmplt_pd(a, b); }
    static D selectD(MD m, D a, D b) { return _mm_or_pd(_mm_and_pd(m, b), _mm_andnot_pd(m, a)); }

    static Fv loadF(const float* p) { return _mm_load_ps(p); }
    static Fv loadFu(const float* p) { return _mm_loadu_ps(p); }
    static void storeFu(float* p, Fv v) { _mm_storeu_ps(p, v); }
    static Fv mulF(Fv a, Fv b) { return _mm_mul_ps(a, b); }
    static Fv addF(Fv a, Fv b) { return _mm_add_ps(a, b); }
    static Fv setF(float x) { return _mm_set1_ps(x); }
    static Fv zeroF() { return _mm_setzero_ps(); }
    static Fv lanesFrom(int m) {
        return _mm_castsi128_ps(_mm_cmpgt_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(m - 1)));
    }
    static Fv select(Fv mask, Fv a, Fv b) {
        return _mm_or_ps(_mm_and_ps(mask, b), _mm_andnot_ps(mask, a));
    }
    static unsigned nonFinite(Fv v) {
        const Fv d = _mm_sub_ps(v, v);  // 0, or not a number
        return static_cast<unsigned>(_mm_movemask_ps(_mm_cmpunord_ps(d, d)));
    }
    static void transpose(Fv r[4]) {
        const Fv t0 = _mm_unpacklo_ps(r[0], r[1]), t1 = _mm_unpackhi_ps(r[0], r[1]);
        const Fv t2 = _mm_unpacklo_ps(r[2], r[3]), t3 = _mm_unpackhi_ps(r[2], r[3]);
        r[0] = _mm_movelh_ps(t0, t2);
        r[1] = _mm_movehl_ps(t2, t0);
        r[2] = _mm_movelh_ps(t1, t3);
        r[3] = _mm_movehl_ps(t3, t1);
    }
};

#include "ring_kernel_impl.h"

}  // namespace

void processBlockSse2(State& s, const float* in0, const float* in1, float* out0, float* out1,
                      int frames, bool accumulate) {
    processBlockImpl(s, in0, in1, out0, out1, frames, accumulate);
}

unsigned long long designBankSse2(Bank& b, float start, float finish, float width, float rate,
                              bool keepCentres) {
    return designBankImpl(b, start, finish, width, rate, keepCentres);
}

}  // namespace halvorine::dsp::kernel
