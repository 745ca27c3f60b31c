// The engine's speed against the plain reference model, in one run, without
// Google Benchmark: the figure for builds that have no benchmark library
// (32-bit Linux, the Windows DLLs under Wine). Processes 512-frame blocks
// through each instruction set this processor runs and through the model,
// five rounds each, and prints the median time per frame and the ratio.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DAudioEffect.h"
#include "dsp/ring_modulator.h"
#include "reference/reference_effect.h"

namespace {

constexpr int kFrames = 512;
constexpr int kBlocksPerRound = 400;
constexpr int kRounds = 5;

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

void forceInstructionSet(const char* set) {
#if defined(_WIN32)
    _putenv_s("HALVORINE_SIMD", set);
#else
    setenv("HALVORINE_SIMD", set, 1);
#endif
}

struct Signals {
    Signals() : mod(kFrames), car(kFrames), out0(kFrames), out1(kFrames) {
        for (int i = 0; i < kFrames; ++i) {
            mod[i] = static_cast<float>(0.5 * std::sin(i * 0.05));
            car[i] = static_cast<float>(0.5 * std::sin(i * 0.013));
        }
    }
    std::vector<float> mod, car, out0, out1;
    float* in[2] = {mod.data(), car.data()};
    float* out[2] = {out0.data(), out1.data()};
};

// Median nanoseconds per frame of `block` over kRounds rounds.
template <class Block>
double nsPerFrame(Block block) {
    block();  // warm up
    std::vector<double> rounds;
    for (int r = 0; r < kRounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int b = 0; b < kBlocksPerRound; ++b) block();
        const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        rounds.push_back(took.count() / (kBlocksPerRound * kFrames));
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[kRounds / 2];
}

}  // namespace

int main() {
    Signals s;
    halvorine::reference::ReferenceEffect ref;
    const double reference = nsPerFrame([&] {
        ref.processReplacing(s.mod.data(), s.car.data(), s.out0.data(), s.out1.data(), kFrames);
    });
    std::printf("%-10s %8.1f ns/frame\n", "reference", reference);
    for (const char* set : {"sse2", "avx2", "avx512"}) {
        forceInstructionSet(set);
        if (std::string(halvorine::dsp::SpectralRingModulator().instructionSet()) != set)
            continue;  // not on this processor
        AEffect* effect = createEffectInstance(quietHost)->getAeffect();
        const double ns = nsPerFrame([&] { effect->processReplacing(effect, s.in, s.out, kFrames); });
        std::printf("%-10s %8.1f ns/frame  %.2fx the reference\n", set, ns, reference / ns);
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    return 0;
}
