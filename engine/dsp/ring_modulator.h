// The spectral ring modulator: two banks of 64 band-pass filters, the
// shifted band products, the boost and the three-point mix.
//
// Threads. Parameters and the design rate may be set from any thread at any
// time; `process` runs on the audio thread. Setters publish a whole new
// snapshot of the settings (see ParameterStore), never waiting on another
// thread. The audio thread takes the newest snapshot at the start of its
// next block and designs both banks from it, so a change takes effect
// whole, between two frames, and a change made between two calls of
// `process` (on any thread) is in force for the very next frame.
//
// Filter histories. A change of the settings keeps every filter running:
// the new coefficients take over with the histories as they are, so
// automation and slider drags sound smooth. Only a new design rate starts
// the filters again from silence.
//
// Glides. Once a block has run, a change of the mix, the boost or the
// shift fades in over 10 ms from what the latest frame played (a new shift
// during the shift's fade once that fade has ended: see kernel::Glide), so
// stepped automation does not click; before that, after reset() and at a
// new rate, settings take effect at once.
#pragma once

#include <array>
#include <cstdint>

#include "carrier_synth.h"
#include "filter_design.h"
#include "parameter_store.h"
#include "ring_kernel.h"

namespace halvorine::dsp {

struct ProcessorInfo {
    char vendor[13] = {};  // "GenuineIntel", "AuthenticAMD", ...; on ARM "ARM", "Apple", ...
    int family = 0, model = 0;  // on ARM the implementer's code and the part number
    bool hasAvx2 = false, hasAvx512 = false;  // and the operating system keeps their registers
    const char* best = "";  // the instruction set instances take
    const char* why = "";
};

class SpectralRingModulator {
public:
    static constexpr int kSlots = 11;      // 0..9 host parameters, 10 internal
    static constexpr int kAllSlots = 19;   // and 11..18 the carrier synth's
    static constexpr int kBands = 64;
    static constexpr int kLastBand = kBands - 1;

    // Parameter slots the sound depends on.
    enum Slot : int { kModStart = 0, kModFinish = 1, kModWidth = 2, kCarrStart = 3,
                      kCarrFinish = 4, kCarrWidth = 5, kShift = 6, kMix = 7, kBoost = 8,
                      kCarrier = 11, kSynthWave = 12, kSynthNoise = 13, kSynthDetune = 14,
                      kSynthOctave = 15, kSynthAttack = 16, kSynthRelease = 17, kDrone = 18 };

    SpectralRingModulator();

    // Brings a value into 0..1: above 1 gives 1; below 0 and not-a-number 0.
    static float clampValue(float value);

    // Any thread. `slot` must be 0..18 and `value` already clamped.
    void setParameter(int slot, float value);
    // Any thread. All eleven values at once (a program switch), already
    // clamped: the audio thread sees either all of them or none. The
    // synth's keep theirs.
    void setParameters(const std::array<float, kSlots>& values);
    // The same for all nineteen.
    void setAllParameters(const std::array<float, kAllSlots>& values);
    float parameter(int slot) const { return settings_.value(slot); }
    // Any thread: the newest settings, whole (what the next block designs).
    Settings settings() const { return settings_.current(); }

    // Any thread. Rates that are not finite and positive are ignored; a new
    // rate redesigns both banks and clears their histories.
    void setDesignRate(float rate);
    float designRate() const { return settings_.current().rate; }

    // Starts again from silent filters, as a new instance would, with the
    // same settings. On the audio thread, or while no block is processed.
    void reset();

    // Audio thread. inputs[0] is the modulator, inputs[1] the carrier; the
    // mono result goes to outputs[0] and outputs[1], replacing their
    // contents or, with `accumulate`, added to them. Inputs and outputs may
    // be the same buffers.
    //
    // The carrier synth. With Carrier on Synth the carrier is the synth's
    // output instead of inputs[1] (a switch crossfades over 10 ms, as the
    // glides do); `events` play it, each at its frame, in frame order.
    // Notes arriving while Carrier is on Input play too, unheard, so they
    // sound when it switches. With Carrier on Input and no voice playing
    // the block is exactly what it was without the synth.
    void process(const float* const* inputs, float* const* outputs, int frames, bool accumulate,
                 const NoteEvent* events = nullptr, int eventCount = 0);

    // The mixed output of the latest frame.
    float lastOutput() const { return state_.last; }

    // Audio thread: the synth makes sound (a voice plays, or the carrier is
    // or is fading to the synth), so silent inputs do not mean a silent
    // output.
    bool synthSounding() const { return synth_.sounding() || carrierTo_ != 0.0f || carrierStep_ < state_.glide.frames; }

    // The instruction set the sample loop uses: "sse2", "avx2" or "avx512"
    // on x86, "neon" or "plain" on 64-bit ARM.
    // Chosen at construction: the fastest on this processor (see
    // processor()), or the one the environment variable HALVORINE_SIMD
    // names if the processor has it.
    const char* instructionSet() const { return instructionSet_; }

    // The processor, and the instruction set instances take on it unless
    // HALVORINE_SIMD names another, with the reason.
    static const ProcessorInfo& processor();

private:
    struct BankInputs {
        float start, finish, width, rate;
        bool operator==(const BankInputs&) const = default;
    };

    void applyPendingChange();
    void designBank(int bank, const BankInputs& in);
    void clearHistories(int bank);

    // Shared between threads.
    ParameterStore settings_;

    // Audio thread only.
    std::uint64_t appliedVersion_ = ~std::uint64_t{0};  // no snapshot yet
    kernel::State state_;
    BankInputs designed_[2];
    bool designedValid_[2] = {false, false};
    float historyRate_ = 0.0f;  // the design rate the histories were built at
    float boostDesigned_ = -1.0f;  // the boost value state_.boost was made from (none yet)
    bool playing_ = false;  // a block has run since construction or the last reset

    // The carrier synth and the carrier's crossfade, input (0) to synth (1).
    static constexpr int kChunk = 256;
    CarrierSynth synth_;
    float carrierTo_ = 0.0f, carrierFrom_ = 0.0f;
    int carrierStep_ = 0;
    alignas(64) float synthOut_[kChunk];
    alignas(64) float carrierIn_[kChunk];

    kernel::BlockFunction processBlock_ = nullptr;
    kernel::DesignFunction designBank_ = nullptr;
    const char* instructionSet_ = "";
};

}  // namespace halvorine::dsp
