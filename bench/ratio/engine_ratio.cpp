// The engine's speed against the plain reference model, in one run, without
// Google Benchmark: the figure for builds that have no benchmark library
// (32-bit Linux, the Windows DLLs under Wine). Processes 512-frame blocks
// through each instruction set this processor runs and through the model,
// five rounds each, and prints the median time per frame and the ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_instance.h"
#include "dsp/ring_modulator.h"
#include "reference/reference_effect.h"

namespace {

using namespace halvorine::bench;

constexpr int kFrames = kLongest;
constexpr int kBlocksPerRound = 400;
constexpr int kRounds = 5;

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
        Instance inst(set);
        const double ns = nsPerFrame([&] { inst.block(s.in, s.out, kFrames); });
        std::printf("%-10s %8.1f ns/frame  %.2fx the reference\n", set, ns, reference / ns);
    }
    return 0;
}
