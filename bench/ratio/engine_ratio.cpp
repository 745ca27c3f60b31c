// The engine's speed against the plain reference model, in one run, without
// Google Benchmark: the figure for builds that have no benchmark library
// (32-bit Linux, the Windows DLLs under Wine). For 512- and 32-frame blocks
// it times the model, each instruction set this processor runs and the one
// an instance takes by default, in turns: many short rounds, each
// candidate's fastest round counting, so that other programs on the machine
// disturb the figures little. Prints the processor, the default's choice
// and why, and the time per frame and ratio of each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_instance.h"
#include "dsp/ring_modulator.h"
#include "reference/reference_effect.h"

namespace {

using namespace halvorine::bench;

constexpr int kRounds = 40;
constexpr int kFramesPerRound = 8192;

struct Candidate {
    std::string name;
    std::function<void(int frames)> block;
    double best[2] = {1e30, 1e30};  // ns per frame, 512- and 32-frame blocks
};

double nsPerFrame(const std::function<void(int)>& block, int frames) {
    // A round starts after a short sleep, as a host's audio thread waits for
    // the device between periods. That matters in 32-bit mode on Zen 4: once
    // 256-bit code has run, SSE code runs at about half speed (vzeroupper
    // does not end it there) until the thread next sleeps, which would slow
    // the reference and the SSE2 loop after the wider loops' rounds.
    // A round unmeasured follows, for the clock to come back up after the
    // sleep and the candidate's own data to come back into the caches.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int done = 0; done < kFramesPerRound; done += frames) block(frames);
    const auto start = std::chrono::steady_clock::now();
    for (int done = 0; done < kFramesPerRound; done += frames) block(frames);
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    return took.count() / kFramesPerRound;
}

}  // namespace

int main() {
    Signals s;
    const auto& p = halvorine::dsp::SpectralRingModulator::processor();
    std::printf("processor: %s family %d (0x%X) model %d (0x%X)\n", p.vendor, p.family, p.family,
                p.model, p.model);
    std::printf("default:   %s (%s)\n\n", p.best, p.why);

    std::vector<Candidate> candidates;
    halvorine::reference::ReferenceEffect ref;
    candidates.push_back({"reference", [&](int frames) {
                              ref.processReplacing(s.mod.data(), s.car.data(), s.out0.data(),
                                                   s.out1.data(), frames);
                          }});
    std::vector<std::unique_ptr<Instance>> instances;
    for (const char* set : {"sse2", "avx2", "avx512", "neon", "plain", ""}) {
        forceInstructionSet(set);
        const std::string runs = halvorine::dsp::SpectralRingModulator().instructionSet();
        if (*set && runs != set) continue;  // not on this processor
        instances.push_back(std::make_unique<Instance>(set));
        Instance* inst = instances.back().get();
        candidates.push_back({*set ? set : "default (" + runs + ")",
                              [&s, inst](int frames) { inst->block(s.in, s.out, frames); }});
    }
    forceInstructionSet("");

    const int sizes[2] = {512, 32};
    for (auto& c : candidates)
        for (int size : sizes) c.block(size);  // warm up
    for (int round = 0; round < kRounds; ++round)
        for (auto& c : candidates)
            for (int i = 0; i < 2; ++i) c.best[i] = std::min(c.best[i], nsPerFrame(c.block, sizes[i]));

    std::printf("%-18s %12s %8s %12s %8s\n", "", "512 frames", "", "32 frames", "");
    const Candidate& r = candidates.front();
    for (const auto& c : candidates) {
        std::printf("%-18s %9.1f ns", c.name.c_str(), c.best[0]);
        if (&c != &r) std::printf(" %7.2fx", r.best[0] / c.best[0]); else std::printf(" %8s", "");
        std::printf(" %9.1f ns", c.best[1]);
        if (&c != &r) std::printf(" %7.2fx", r.best[1] / c.best[1]);
        std::printf("\n");
    }
    return 0;
}
