// Speed of the effect next to the plain reference model, in one run, for
// every instruction set this processor has (HALVORINE_SIMD, set before each
// instance is made, picks it): processReplacing per frame in 512- and
// 32-frame blocks, a change of one frequency parameter with the 32-frame
// block after it (which redesigns one bank), and a switch between two
// programs that differ in every slot with the block after it (both banks).
// The cost a change adds is its time less the plain 32-frame block's.
//
// The effect is driven through its record, exactly as a host drives the
// library (the same code, linked statically).
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_instance.h"
#include "dsp/ring_modulator.h"
#include "reference/reference_effect.h"

using halvorine::reference::ReferenceEffect;

namespace {

using namespace halvorine::bench;

// Reports the time per frame (seconds, printed with an SI prefix: 250n is
// 250 ns).
void perFrame(benchmark::State& state, int frames) {
    state.SetItemsProcessed(state.iterations() * frames);
    state.counters["time_per_frame"] = benchmark::Counter(
        frames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void effectBlocks(benchmark::State& state, const std::string& set, int frames) {
    Instance inst(set);
    Signals s;
    for (auto _ : state) {
        inst.block(s.in, s.out, frames);
        benchmark::DoNotOptimize(s.out0.data());
    }
    perFrame(state, frames);
}

void referenceBlocks(benchmark::State& state, int frames) {
    ReferenceEffect ref;
    Signals s;
    for (auto _ : state) {
        ref.processReplacing(s.mod.data(), s.car.data(), s.out0.data(), s.out1.data(), frames);
        benchmark::DoNotOptimize(s.out0.data());
    }
    perFrame(state, frames);
}

// One frequency parameter changes, alternately of each bank, then the next
// 32-frame block runs.
void frequencyChange(benchmark::State& state, const std::string& set) {
    Instance inst(set);
    Signals s;
    int i = 0;
    for (auto _ : state) {
        inst.effect->setParameter(inst.effect, (i % 2) * 3, static_cast<float>(i % 100) / 100.0f);
        inst.block(s.in, s.out, 32);
        ++i;
    }
}

// Two programs that differ in every slot, switched before every 32-frame
// block.
void programSwitch(benchmark::State& state, const std::string& set) {
    Instance inst(set);
    Signals s;
    for (int p = 0; p < 2; ++p) {
        inst.effect->dispatcher(inst.effect, effSetProgram, 0, p, nullptr, 0.0f);
        for (VstInt32 k = 0; k < 10; ++k)
            inst.effect->setParameter(inst.effect, k, p == 0 ? 0.1f + 0.05f * k : 0.8f - 0.03f * k);
    }
    int i = 0;
    for (auto _ : state) {
        inst.effect->dispatcher(inst.effect, effSetProgram, 0, i++ % 2, nullptr, 0.0f);
        inst.block(s.in, s.out, 32);
    }
}

// The instruction sets this processor runs, the plain SSE2 one first.
std::vector<std::string> availableSets() {
    std::vector<std::string> sets;
    for (const char* set : {"sse2", "avx2", "avx512"}) {
        forceInstructionSet(set);
        halvorine::dsp::SpectralRingModulator engine;
        if (set == std::string(engine.instructionSet())) sets.push_back(set);
    }
    return sets;
}

void registerAll() {
    const auto sets = availableSets();
    for (int frames : {512, 32}) {
        const std::string size = std::to_string(frames);
        benchmark::RegisterBenchmark(("Block" + size + "/reference").c_str(), referenceBlocks, frames);
        for (const auto& set : sets)
            benchmark::RegisterBenchmark(("Block" + size + "/" + set).c_str(), effectBlocks, set,
                                         frames);
    }
    for (const auto& set : sets)
        benchmark::RegisterBenchmark(("FrequencyChangeThenBlock32/" + set).c_str(), frequencyChange,
                                     set)
            ->Unit(benchmark::kMicrosecond);
    for (const auto& set : sets)
        benchmark::RegisterBenchmark(("ProgramSwitchThenBlock32/" + set).c_str(), programSwitch, set)
            ->Unit(benchmark::kMicrosecond);
}

// The call a host makes, on its own thread: it only records the change.
void BM_SetParameter_Effect(benchmark::State& state) {
    Instance inst("");
    int i = 0;
    for (auto _ : state) {
        inst.effect->setParameter(inst.effect, i % 9, static_cast<float>(i % 100) / 100.0f);
        ++i;
    }
}
BENCHMARK(BM_SetParameter_Effect)->Unit(benchmark::kMicrosecond);

// main's work: build the instance, then close it; the first block designs.
void BM_Construction_Effect(benchmark::State& state) {
    Signals s;
    for (auto _ : state) {
        Instance inst("");
        inst.block(s.in, s.out, 1);
    }
}
BENCHMARK(BM_Construction_Effect)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
