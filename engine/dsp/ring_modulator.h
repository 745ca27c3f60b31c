// The spectral ring modulator: two banks of 64 band-pass filters, the
// shifted band products, the boost and the three-point mix.
//
// Threads. Parameters and the design rate may be set from any thread at any
// time; `process` runs on the audio thread. Setters only store the value
// (a relaxed atomic) and bump a change counter. The audio thread picks the
// change up at the start of its next block: it designs both banks from one
// snapshot of the parameters and clears every filter history before the
// first frame that uses them. So a change takes effect whole, between two
// frames; the audio thread never locks, waits or allocates; and a change
// made between two calls of `process` (on any thread) is in force for the
// very next frame.
#pragma once

#include <atomic>
#include <cstdint>

#include "filter_design.h"

namespace halvorine::dsp {

class SpectralRingModulator {
public:
    static constexpr int kSlots = 11;      // 0..9 host parameters, 10 internal
    static constexpr int kBands = 64;
    static constexpr int kLastBand = kBands - 1;

    // Parameter slots the sound depends on.
    enum Slot : int { kModStart = 0, kModFinish = 1, kModWidth = 2, kCarrStart = 3,
                      kCarrFinish = 4, kCarrWidth = 5, kShift = 6, kMix = 7, kBoost = 8 };

    SpectralRingModulator();

    // Brings a value into 0..1: above 1 gives 1; below 0 and not-a-number 0.
    static float clampValue(float value);

    // Any thread. `slot` must be 0..10 and `value` already clamped.
    void setParameter(int slot, float value);
    float parameter(int slot) const { return params_[slot].load(std::memory_order_relaxed); }

    // Any thread. Rates that are not finite and positive are ignored; a new
    // rate redesigns both banks.
    void setDesignRate(float rate);
    float designRate() const { return designRate_.load(std::memory_order_relaxed); }

    // Audio thread. inputs[0] is the modulator, inputs[1] the carrier; the
    // mono result goes to outputs[0] and outputs[1], replacing their
    // contents or, with `accumulate`, added to them. Inputs and outputs may
    // be the same buffers.
    void process(const float* const* inputs, float* const* outputs, int frames, bool accumulate);

    // The mixed output of the latest frame.
    float lastOutput() const { return outSample_; }

private:
    struct Bank {
        alignas(64) float b0[kBands];
        alignas(64) float b1[kBands];
        alignas(64) float b2[kBands];
        alignas(64) float a1[kBands];
        alignas(64) float a2[kBands];
        alignas(64) float x[3][kBands];  // input history, three-slot ring
        alignas(64) float y[3][kBands];  // output history, three-slot ring
    };

    struct BankInputs {
        float start, finish, width, rate;
        bool operator==(const BankInputs&) const = default;
    };

    void markChanged() { changeCount_.fetch_add(1, std::memory_order_release); }
    void applyPendingChange();
    void designBank(int bank, const BankInputs& in);
    void clearHistories(Bank& bank);
    void clearPoisonedHistories();
    template <bool Accumulate>
    void run(const float* in0, const float* in1, float* out0, float* out1, int frames);
    float processFrame(float modIn, float carrIn, float dry);

    // Shared between threads.
    std::atomic<float> params_[kSlots];
    std::atomic<float> designRate_{44100.0f};
    std::atomic<std::uint32_t> changeCount_{1};

    // Audio thread only.
    std::uint32_t appliedCount_ = 0;
    Bank banks_[2];
    BankInputs designed_[2];
    bool designedValid_[2] = {false, false};
    int ringPos_ = 0;
    int slotNow_ = 0;
    int slotPrev1_ = 1;
    int slotPrev2_ = 2;
    int shift_ = 0;
    float mix_ = 0.0f;
    float wet_ = 0.0f;  // weight of the processed signal
    float boostGain_ = 0.0f;
    float outSample_ = 0.0f;
};

}  // namespace halvorine::dsp
