// Speed of the effect next to the plain reference model, in one run:
// processReplacing per frame in 512-frame blocks, one parameter change,
// one program switch, and construction.
//
// The effect is driven through its record, exactly as a host drives the
// library (the same code, linked statically).
#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "DAudioEffect.h"
#include "reference/reference_effect.h"

using halvorine::reference::ReferenceEffect;

namespace {

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Instance {
    Instance() : effect(createEffectInstance(quietHost)->getAeffect()) {}
    ~Instance() { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    AEffect* effect;
};

constexpr int kBlock = 512;

struct Signals {
    Signals() : mod(kBlock), car(kBlock), out0(kBlock), out1(kBlock) {
        for (int i = 0; i < kBlock; ++i) {
            mod[i] = static_cast<float>(0.5 * std::sin(i * 0.05));
            car[i] = static_cast<float>(0.5 * std::sin(i * 0.013));
        }
    }
    std::vector<float> mod, car, out0, out1;
    float* in[2] = {mod.data(), car.data()};
    float* out[2] = {out0.data(), out1.data()};
};

// Reports the time per frame (seconds, printed with an SI prefix: 250n is
// 250 ns).
void perFrame(benchmark::State& state, int frames) {
    state.SetItemsProcessed(state.iterations() * frames);
    state.counters["time_per_frame"] = benchmark::Counter(
        frames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ProcessReplacing_Effect(benchmark::State& state) {
    Instance inst;
    Signals s;
    for (auto _ : state) {
        inst.effect->processReplacing(inst.effect, s.in, s.out, kBlock);
        benchmark::DoNotOptimize(s.out0.data());
    }
    perFrame(state, kBlock);
}
BENCHMARK(BM_ProcessReplacing_Effect);

void BM_ProcessReplacing_Reference(benchmark::State& state) {
    ReferenceEffect ref;
    Signals s;
    for (auto _ : state) {
        ref.processReplacing(s.mod.data(), s.car.data(), s.out0.data(), s.out1.data(), kBlock);
        benchmark::DoNotOptimize(s.out0.data());
    }
    perFrame(state, kBlock);
}
BENCHMARK(BM_ProcessReplacing_Reference);

// The call a host makes, on its own thread: it only records the change.
void BM_SetParameter_Effect(benchmark::State& state) {
    Instance inst;
    int i = 0;
    for (auto _ : state) {
        inst.effect->setParameter(inst.effect, i % 9, static_cast<float>(i % 100) / 100.0f);
        ++i;
    }
}
BENCHMARK(BM_SetParameter_Effect)->Unit(benchmark::kMicrosecond);

// The whole cost of a change: the call, then the redesign the next block
// performs before its first frame (the one-frame block itself is included).
void BM_SetParameterAndRedesign_Effect(benchmark::State& state) {
    Instance inst;
    Signals s;
    int i = 0;
    for (auto _ : state) {
        // Alternate between the banks' slots so every change designs a bank.
        inst.effect->setParameter(inst.effect, (i % 2) * 3, static_cast<float>(i % 100) / 100.0f);
        inst.effect->processReplacing(inst.effect, s.in, s.out, 1);
        ++i;
    }
}
BENCHMARK(BM_SetParameterAndRedesign_Effect)->Unit(benchmark::kMicrosecond);

void BM_SetParameter_Reference(benchmark::State& state) {
    ReferenceEffect ref;
    int i = 0;
    for (auto _ : state) {
        ref.setParameter((i % 2) * 3, static_cast<float>(i % 100) / 100.0f);
        ++i;
    }
}
BENCHMARK(BM_SetParameter_Reference)->Unit(benchmark::kMicrosecond);

void BM_ProgramSwitchAndRedesign_Effect(benchmark::State& state) {
    Instance inst;
    Signals s;
    // Give every program its own band ranges, so each switch designs both
    // banks.
    for (int p = 0; p < 8; ++p) {
        inst.effect->dispatcher(inst.effect, effSetProgram, 0, p, nullptr, 0.0f);
        inst.effect->setParameter(inst.effect, 0, static_cast<float>(p) / 10.0f);
        inst.effect->setParameter(inst.effect, 3, static_cast<float>(p) / 9.0f);
    }
    int i = 0;
    for (auto _ : state) {
        inst.effect->dispatcher(inst.effect, effSetProgram, 0, i++ % 8, nullptr, 0.0f);
        inst.effect->processReplacing(inst.effect, s.in, s.out, 1);
    }
}
BENCHMARK(BM_ProgramSwitchAndRedesign_Effect)->Unit(benchmark::kMicrosecond);

void BM_ProgramSwitch_Reference(benchmark::State& state) {
    ReferenceEffect ref;
    const float values[11] = {0, 1, 0.5f, 0, 1, 0.5f, 0.5f, 0.5f, 0.75f, 0, 0};
    for (auto _ : state)
        for (int k = 0; k < 11; ++k) ref.setParameter(k, values[k]);
}
BENCHMARK(BM_ProgramSwitch_Reference)->Unit(benchmark::kMicrosecond);

// main's work: build the instance, then close it; the first block designs.
void BM_Construction_Effect(benchmark::State& state) {
    Signals s;
    for (auto _ : state) {
        Instance inst;
        inst.effect->processReplacing(inst.effect, s.in, s.out, 1);
    }
}
BENCHMARK(BM_Construction_Effect)->Unit(benchmark::kMicrosecond);

void BM_Construction_Reference(benchmark::State& state) {
    for (auto _ : state) {
        ReferenceEffect ref;
        benchmark::DoNotOptimize(&ref);
    }
}
BENCHMARK(BM_Construction_Reference)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
