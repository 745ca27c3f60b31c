// The sample loop in plain scalar code, one band or frame at a time: on
// 64-bit ARM the yardstick of the NEON loop (HALVORINE_SIMD=plain), built
// without the compiler's own vectorising. The same bits as every other
// version.
#include <cstdint>

#include "ring_kernel.h"

namespace halvorine::dsp::kernel {
namespace {

struct V {
    static constexpr int WD = 1, WF = 1;
    static constexpr int DL = 1;  // lanes of the bank design
    static constexpr int kRegisters = 32;
    using D = double;
    using H = float;
    using Fv = float;

    static D loadD(const double* p) { return *p; }
    static void storeD(double* p, D v) { *p = v; }
    static D setD(double x) { return x; }
    static D addD(D a, D b) { return a + b; }
    static D mulD(D a, D b) { return a * b; }
    static D madd(D a, D b, D c) { return c + a * b; }
    static D nmsub(D a, D b, D c) { return c - a * b; }
    static H toH(D v) { return static_cast<float>(v); }
    static void storeH(float* p, H h) { *p = h; }
    static D widen(H h) { return h; }
    static D loadAsD(const float* p) { return *p; }
    static void storeHu(float* p, H h) { *p = h; }
    static D subD(D a, D b) { return a - b; }
    static D divD(D a, D b) { return a / b; }
    using MD = bool;
    static MD ltD(D a, D b) { return a < b; }
    static D selectD(MD m, D a, D b) { return m ? b : a; }

    static Fv loadF(const float* p) { return *p; }
    static Fv loadFu(const float* p) { return *p; }
    static void storeFu(float* p, Fv v) { *p = v; }
    static Fv mulF(Fv a, Fv b) { return a * b; }
    static Fv addF(Fv a, Fv b) { return a + b; }
    static Fv setF(float x) { return x; }
    static Fv zeroF() { return 0.0f; }
    // A mask lane is all ones (set) or all zeros, as in the vector versions.
    static Fv lanesFrom(int m) { return __builtin_bit_cast(Fv, m <= 0 ? ~0u : 0u); }
    static Fv select(Fv mask, Fv a, Fv b) {
        return __builtin_bit_cast(std::uint32_t, mask) != 0 ? b : a;
    }
    static unsigned nonFinite(Fv v) {
        const Fv d = v - v;  // 0, or not a number
        return d != d ? 1u : 0u;
    }
    static void transpose(Fv*) {}
};

#include "ring_kernel_impl.h"

}  // namespace

void processBlockPlain(State& s, const float* in0, const float* in1, float* out0, float* out1,
                       int frames, bool accumulate) {
    processBlockImpl(s, in0, in1, out0, out1, frames, accumulate);
}

unsigned long long designBankPlain(Bank& b, float start, float finish, float width, float rate,
                                   bool keepCentres) {
    return designBankImpl(b, start, finish, width, rate, keepCentres);
}

}  // namespace halvorine::dsp::kernel
