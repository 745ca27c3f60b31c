// Speed of the effect next to the plain reference model, in one run, for
// every instruction set this processor has (HALVORINE_SIMD, set before each
// instance is made, picks it): processReplacing per frame in 512- and
// 32-frame blocks, a change of one frequency parameter with the 32-frame
// block after it (which redesigns one bank), and a switch between two
// programs that differ in every slot with the block after it (both banks).
// The cost a change adds is its time less the plain 32-frame block's.
//
// The effect is driven through its record, exactly as a host drives the
// library (the same code, linked statically). "default-SET" is an instance
// made without HALVORINE_SIMD: the set the engine chose for this processor.
// At the end a table gives the block figures per frame and as ratios to the
// reference, with the processor and the reason for the default's choice.
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
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

// One slot (the shift 6, the mix 7 or the boost 8) changes before every
// 512-frame block, so that every block glides (441 of its frames at
// 44.1 kHz; the shift's with the band sums run twice): its time per frame
// against Block512's is what a glide costs.
void glidingBlocks(benchmark::State& state, const std::string& set, int slot) {
    Instance inst(set);
    Signals s;
    int i = 0;
    for (auto _ : state) {
        inst.effect->setParameter(inst.effect, slot, i++ % 2 ? 0.3f : 0.7f);
        inst.block(s.in, s.out, 512);
    }
    perFrame(state, 512);
}

// The engine itself (the carrier synth is beyond the VST 2 record) in
// 512-frame blocks: plain, and with the carrier on the synth holding an
// eight-note chord (three oscillators a voice, noise on). Its time per
// frame against the plain engine's is what the synth costs.
void engineBlocks(benchmark::State& state, const std::string& set, bool chord) {
    forceInstructionSet(set);
    using halvorine::dsp::NoteEvent;
    using halvorine::dsp::SpectralRingModulator;
    auto engine = std::make_unique<SpectralRingModulator>();
    engine->setDesignRate(44100.0f);
    Signals s;
    std::vector<NoteEvent> notes;
    if (chord) {
        engine->setParameter(SpectralRingModulator::kCarrier, 1.0f);
        engine->setParameter(SpectralRingModulator::kSynthNoise, 0.3f);
        for (int key : {48, 52, 55, 59, 62, 65, 69, 72})
            notes.push_back({0, NoteEvent::On, static_cast<std::int16_t>(key), 0.8f});
    }
    const float* in[2] = {s.mod.data(), s.car.data()};
    engine->process(in, s.out, 512, false, notes.data(), static_cast<int>(notes.size()));
    for (auto _ : state) {
        engine->process(in, s.out, 512, false);
        benchmark::DoNotOptimize(s.out0.data());
    }
    perFrame(state, 512);
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

// After the usual lines, a table of the block figures: per frame, and as a
// ratio to the reference model, for each instruction set and the one an
// instance takes by default.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            const std::string name = run.run_name.function_name;
            const auto slash = name.find('/');
            const auto counter = run.counters.find("time_per_frame");
            if (name.rfind("Block", 0) != 0 || slash == std::string::npos ||
                counter == run.counters.end())
                continue;
            const int size = name.substr(0, slash) == "Block512" ? 0 : 1;
            Row& row = rowFor(name.substr(slash + 1));
            row.ns[size] = counter->second.value * 1e9;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto& p = halvorine::dsp::SpectralRingModulator::processor();
        std::printf("\n%s family %d (0x%X) model %d (0x%X); the default takes %s: %s\n\n",
                    p.vendor, p.family, p.family, p.model, p.model, p.best, p.why);
        std::printf("| path | 512-frame blocks, per frame | ratio | 32-frame blocks, per frame | ratio |\n");
        std::printf("|---|---|---|---|---|\n");
        const Row* ref = rows_.empty() || rows_.front().path != "reference" ? nullptr : &rows_.front();
        for (const Row& row : rows_) {
            std::printf("| %s |", row.path.c_str());
            for (int size = 0; size < 2; ++size) {
                if (row.ns[size] <= 0) {
                    std::printf(" | |");
                    continue;
                }
                std::printf(" %.1f ns |", row.ns[size]);
                if (ref && &row != ref && ref->ns[size] > 0)
                    std::printf(" %.2fx |", ref->ns[size] / row.ns[size]);
                else
                    std::printf(" |");
            }
            std::printf("\n");
        }
    }

private:
    struct Row {
        std::string path;
        double ns[2] = {0, 0};
    };
    Row& rowFor(const std::string& path) {
        for (Row& row : rows_)
            if (row.path == path) return row;
        rows_.push_back({path});
        return rows_.back();
    }
    std::vector<Row> rows_;
};

void registerAll() {
    const auto sets = availableSets();
    const std::string chosen = "default-" + std::string(
        halvorine::dsp::SpectralRingModulator::processor().best);
    for (int frames : {512, 32}) {
        const std::string size = std::to_string(frames);
        benchmark::RegisterBenchmark(("Block" + size + "/reference").c_str(), referenceBlocks, frames);
        for (const auto& set : sets)
            benchmark::RegisterBenchmark(("Block" + size + "/" + set).c_str(), effectBlocks, set,
                                         frames);
        benchmark::RegisterBenchmark(("Block" + size + "/" + chosen).c_str(), effectBlocks,
                                     std::string(), frames);
    }
    for (const auto& set : sets)
        for (const auto& [name, slot] : {std::pair{"Shift", 6}, {"Mix", 7}, {"Boost", 8}})
            benchmark::RegisterBenchmark(("Gliding512" + std::string(name) + "/" + set).c_str(),
                                         glidingBlocks, set, slot);
    for (const auto& set : sets) {
        benchmark::RegisterBenchmark(("Engine512Plain/" + set).c_str(), engineBlocks, set, false);
        benchmark::RegisterBenchmark(("Engine512SynthChord/" + set).c_str(), engineBlocks, set, true);
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
    const auto& p = halvorine::dsp::SpectralRingModulator::processor();
    benchmark::AddCustomContext("processor", std::string(p.vendor) + " family " +
                                                 std::to_string(p.family) + " model " +
                                                 std::to_string(p.model));
    benchmark::AddCustomContext("default path", std::string(p.best) + " (" + p.why + ")");
    registerAll();
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
