// The sample loop in NEON, for 64-bit ARM: two doubles or four floats per
// 128-bit vector, as the SSE2 loop has them. No fused multiply-add: NEON's
// rounds once where the engine's formulas round twice (the build turns
// GCC's own fusing off too, and a test looks for such instructions).
#include <arm_neon.h>

#include "ring_kernel.h"

namespace halvorine::dsp::kernel {
namespace {

struct V {
    static constexpr int WD = 2, WF = 4;
    static constexpr int DL = 8;  // lanes of the bank design
    static constexpr int kRegisters = 32;  // vector registers
    using D = float64x2_t;
    using H = float32x2_t;
    using Fv = float32x4_t;

    static D loadD(const double* p) { return vld1q_f64(p); }
    static void storeD(double* p, D v) { vst1q_f64(p, v); }
    static D setD(double x) { return vdupq_n_f64(x); }
    static D addD(D a, D b) { return vaddq_f64(a, b); }
    static D mulD(D a, D b) { return vmulq_f64(a, b); }
    static D madd(D a, D b, D c) { return vaddq_f64(c, vmulq_f64(a, b)); }
    static D nmsub(D a, D b, D c) { return vsubq_f64(c, vmulq_f64(a, b)); }
    static H toH(D v) { return vcvt_f32_f64(v); }
    static void storeH(float* p, H h) { vst1_f32(p, h); }
    static D widen(H h) { return vcvt_f64_f32(h); }
    static D loadAsD(const float* p) { return vcvt_f64_f32(vld1_f32(p)); }
    static void storeHu(float* p, H h) { vst1_f32(p, h); }
    static D subD(D a, D b) { return vsubq_f64(a, b); }
    static D divD(D a, D b) { return vdivq_f64(a, b); }
    using MD = uint64x2_t;
    static MD ltD(D a, D b) { return vcltq_f64(a, b); }
    static D selectD(MD m, D a, D b) { return vbslq_f64(m, b, a); }

    static Fv loadF(const float* p) { return vld1q_f32(p); }
    static Fv loadFu(const float* p) { return vld1q_f32(p); }
    static void storeFu(float* p, Fv v) { vst1q_f32(p, v); }
    static Fv mulF(Fv a, Fv b) { return vmulq_f32(a, b); }
    static Fv addF(Fv a, Fv b) { return vaddq_f32(a, b); }
    static Fv setF(float x) { return vdupq_n_f32(x); }
    static Fv zeroF() { return vdupq_n_f32(0.0f); }
    static Fv lanesFrom(int m) {
        const int32x4_t lane = {0, 1, 2, 3};
        return vreinterpretq_f32_u32(vcgtq_s32(lane, vdupq_n_s32(m - 1)));
    }
    static Fv select(Fv mask, Fv a, Fv b) {
        return vbslq_f32(vreinterpretq_u32_f32(mask), b, a);
    }
    static unsigned nonFinite(Fv v) {
        const Fv d = vsubq_f32(v, v);  // 0, or not a number
        const uint32x4_t unordered = vmvnq_u32(vceqq_f32(d, d));
        const uint32x4_t bit = {1, 2, 4, 8};
        return vaddvq_u32(vandq_u32(unordered, bit));
    }
    static void transpose(Fv r[4]) {
        const Fv t0 = vtrn1q_f32(r[0], r[1]), t1 = vtrn2q_f32(r[0], r[1]);
        const Fv t2 = vtrn1q_f32(r[2], r[3]), t3 = vtrn2q_f32(r[2], r[3]);
        const auto pairs = [](Fv v) { return vreinterpretq_f64_f32(v); };
        r[0] = vreinterpretq_f32_f64(vtrn1q_f64(pairs(t0), pairs(t2)));
        r[1] = vreinterpretq_f32_f64(vtrn1q_f64(pairs(t1), pairs(t3)));
        r[2] = vreinterpretq_f32_f64(vtrn2q_f64(pairs(t0), pairs(t2)));
        r[3] = vreinterpretq_f32_f64(vtrn2q_f64(pairs(t1), pairs(t3)));
    }
};

#include "ring_kernel_impl.h"

}  // namespace

void processBlockNeon(State& s, const float* in0, const float* in1, float* out0, float* out1,
                      int frames, bool accumulate) {
    processBlockImpl(s, in0, in1, out0, out1, frames, accumulate);
}

unsigned long long designBankNeon(Bank& b, float start, float finish, float width, float rate,
                                  bool keepCentres) {
    return designBankImpl(b, start, finish, width, rate, keepCentres);
}

}  // namespace halvorine::dsp::kernel
