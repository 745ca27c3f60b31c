// The effect without any host format: the engine and the bank of eight
// programs, behaving as the VST 2 effect does. Every program starts as
// "Preset 0".."Preset 7" with the parameters' defaults, and program 7 is
// current after construction. A parameter change goes into the live values
// and the current program together; a program switch applies its values
// whole.
//
// Threads. Every call may come from any thread at any time, the audio
// thread among them: nothing here locks, waits on another thread or
// allocates (construction apart). After concurrent parameter changes and
// program switches have returned, the engine plays exactly what the current
// program holds.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "APluginProgram.h"
#include "dsp/ring_modulator.h"
#include "parameter_table.h"

namespace halvorine {

class EffectCore {
public:
    static constexpr int kPrograms = 8;
    static constexpr int kSlots = engine::kSlots;        // what VST 2 sees: 0..10
    static constexpr int kAllSlots = engine::kAllSlots;  // and the carrier synth's 11..18
    static constexpr int kNameChars = APluginProgram::kNameChars;

    EffectCore();
    EffectCore(const EffectCore&) = delete;
    EffectCore& operator=(const EffectCore&) = delete;

    // A value is clamped into 0..1 (not a number gives 0); a slot outside
    // 0..18 is ignored.
    void setParameter(int slot, float value);
    float parameter(int slot) const;  // the live value; 0 outside 0..18

    // What the engine plays for a slot instead of the value the program
    // holds, for a host that modulates a parameter on top of its value:
    // parameter(), the program and the saved state keep the value alone.
    // The value is clamped into 0..1; it stays until cleared, through
    // parameter changes and program switches, which the binding follows by
    // setting it again. Any thread, like setParameter; slots outside 0..18
    // are ignored.
    void setPlayedValue(int slot, float value);
    void clearPlayedValue(int slot);
    void clearPlayedValues();

    // Applies program 0..7 (clamping its values into itself); other
    // indices are ignored.
    void setProgram(int program);
    int program() const { return current_.load(std::memory_order_acquire); }
    float programValue(int program, int slot) const;
    // Loads a preset into the current program: its values (clamped into
    // 0..1) and its name, as one change the engine takes whole. A preset of
    // eleven values puts the synth's at their defaults (Carrier on Input).
    void loadIntoProgram(const float (&values)[kAllSlots], const char* name);
    void loadIntoProgram(const float (&values)[kSlots], const char* name);
    void setProgramName(int program, const char* name);
    // At most maxChars characters and a terminator; returns the length.
    std::size_t copyProgramName(int program, char* out, std::size_t maxChars) const;

    // How long the filters ring on after the input stops, in frames at the
    // current rate: at the narrowest bands (width 0, 20 Hz to 20480 Hz) the
    // output falls 120 dB below its peak within 0.8 s of silence; two
    // seconds leave a margin.
    std::uint32_t tailFrames() const;

    // Rates that are not finite and positive are ignored.
    void setSampleRate(float rate) { engine_.setDesignRate(rate); }
    float sampleRate() const { return engine_.designRate(); }

    // Audio thread. inputs[0] is the modulator, inputs[1] the carrier;
    // outputs[0] and outputs[1] get the same result, replacing their
    // contents or, with `accumulate`, added to them. When replacing,
    // outputs[1] may be null (a mono output).
    // Buffers may alias.
    // `events` play the carrier synth (see SpectralRingModulator::process).
    void process(const float* const* inputs, float* const* outputs, int frames,
                 bool accumulate = false, const dsp::NoteEvent* events = nullptr, int eventCount = 0);

    // Starts again from silent filters, as a new instance would, keeping
    // every value and the sample rate. Not while a block is processed.
    void reset();

    // The whole bank, for saving and loading state; the synth's values
    // start at their defaults.
    struct Bank {
        Bank();
        int current = 0;
        float values[kPrograms][kAllSlots] = {};
        char names[kPrograms][kNameChars + 1] = {};
    };
    void readBank(Bank& out) const;
    // Values must lie in 0..1 and `current` in 0..7 (checked by whoever
    // read them); the current program's values become live.
    void writeBank(const Bank& bank);

    dsp::SpectralRingModulator& engine() { return engine_; }
    const dsp::SpectralRingModulator& engine() const { return engine_; }

private:
    // Hands the current program's values to the engine until no change of
    // the bank slipped in while it did so.
    void publish();
    void changed() { version_.fetch_add(1, std::memory_order_acq_rel); }

    dsp::SpectralRingModulator engine_;
    APluginProgram programs_[kPrograms];
    std::atomic<int> current_{0};
    std::atomic<std::uint64_t> version_{0};
    // What the engine plays instead of the program's value; not a number: none.
    std::atomic<float> played_[kAllSlots];
};

}  // namespace halvorine
