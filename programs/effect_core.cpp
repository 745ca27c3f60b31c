#include "effect_core.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace halvorine {

using dsp::SpectralRingModulator;

EffectCore::EffectCore() {
    for (auto& played : played_) played.store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
    for (int p = 0; p < kPrograms; ++p) {
        for (int slot = 0; slot < kAllSlots; ++slot)
            programs_[p].setValue(slot, engine::parameterInfo(slot).defaultValue);
        char name[kNameChars + 1];
        std::snprintf(name, sizeof name, "Preset %d", p);
        programs_[p].setName(name);
    }
    current_.store(kPrograms - 1, std::memory_order_release);
    publish();
}

// The protocol that keeps the engine on the current program: every change
// of the bank first lands in the programs, then bumps the version, then
// publishes. A publication that saw the version move while it copied runs
// again, so the last one to finish always hands over a bank no writer was
// still changing. Played values go the same way.
void EffectCore::publish() {
    for (;;) {
        const std::uint64_t seen = version_.load(std::memory_order_acquire);
        const int p = current_.load(std::memory_order_acquire);
        std::array<float, kAllSlots> values;
        for (int slot = 0; slot < kAllSlots; ++slot) {
            const float played = played_[slot].load(std::memory_order_relaxed);
            values[static_cast<std::size_t>(slot)] = std::isnan(played) ? programs_[p].value(slot) : played;
        }
        engine_.setAllParameters(values);
        if (version_.load(std::memory_order_acquire) == seen) return;
    }
}

void EffectCore::setParameter(int slot, float value) {
    if (slot < 0 || slot >= kAllSlots) return;
    programs_[current_.load(std::memory_order_acquire)].setValue(
        slot, SpectralRingModulator::clampValue(value));
    changed();
    publish();
}

void EffectCore::setPlayedValue(int slot, float value) {
    if (slot < 0 || slot >= kAllSlots) return;
    played_[slot].store(SpectralRingModulator::clampValue(value), std::memory_order_relaxed);
    changed();
    publish();
}

void EffectCore::clearPlayedValue(int slot) {
    if (slot < 0 || slot >= kAllSlots) return;
    played_[slot].store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
    changed();
    publish();
}

void EffectCore::clearPlayedValues() {
    for (auto& played : played_) played.store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
    changed();
    publish();
}

float EffectCore::parameter(int slot) const {
    if (slot < 0 || slot >= kAllSlots) return 0.0f;
    return programs_[current_.load(std::memory_order_acquire)].value(slot);
}

void EffectCore::setProgram(int program) {
    if (program < 0 || program >= kPrograms) return;
    current_.store(program, std::memory_order_release);
    // Applied even when already current: every value is clamped into this
    // program. Only a value that changes is written back, so a parameter
    // change racing the switch is not overwritten with its old value.
    APluginProgram& p = programs_[program];
    for (int slot = 0; slot < kAllSlots; ++slot) {
        const float v = p.value(slot);
        const float clamped = SpectralRingModulator::clampValue(v);
        if (!(clamped == v)) p.setValue(slot, clamped);
    }
    changed();
    publish();
}

float EffectCore::programValue(int program, int slot) const {
    if (program < 0 || program >= kPrograms || slot < 0 || slot >= kAllSlots) return 0.0f;
    return programs_[program].value(slot);
}

void EffectCore::loadIntoProgram(const float (&values)[kSlots], const char* name) {
    float all[kAllSlots];
    for (int slot = 0; slot < kAllSlots; ++slot)
        all[slot] = slot < kSlots ? values[slot] : engine::parameterInfo(slot).defaultValue;
    loadIntoProgram(all, name);
}

void EffectCore::loadIntoProgram(const float (&values)[kAllSlots], const char* name) {
    APluginProgram& p = programs_[current_.load(std::memory_order_acquire)];
    for (int slot = 0; slot < kAllSlots; ++slot) p.setValue(slot, SpectralRingModulator::clampValue(values[slot]));
    if (name) p.setName(name);
    changed();
    publish();
}

void EffectCore::setProgramName(int program, const char* name) {
    if (program < 0 || program >= kPrograms || !name) return;
    programs_[program].setName(name);
}

std::size_t EffectCore::copyProgramName(int program, char* out, std::size_t maxChars) const {
    if (!out) return 0;
    if (program < 0 || program >= kPrograms) {
        out[0] = '\0';
        return 0;
    }
    return programs_[program].copyName(out, maxChars);
}

void EffectCore::process(const float* const* inputs, float* const* outputs, int frames,
                         bool accumulate, const dsp::NoteEvent* events, int eventCount) {
    if (outputs[1] || accumulate) {
        engine_.process(inputs, outputs, frames, accumulate, events, eventCount);
        return;
    }
    // One output: the engine writes the same result into both pointers.
    float* const single[2] = {outputs[0], outputs[0]};
    engine_.process(inputs, single, frames, false, events, eventCount);
}

EffectCore::Bank::Bank() {
    for (auto& program : values)
        for (int slot = kSlots; slot < kAllSlots; ++slot) program[slot] = engine::parameterInfo(slot).defaultValue;
}

void EffectCore::reset() { engine_.reset(); }

std::uint32_t EffectCore::tailFrames() const {
    return static_cast<std::uint32_t>(std::ceil(2.0 * static_cast<double>(sampleRate())));
}

void EffectCore::readBank(Bank& out) const {
    out.current = program();
    for (int p = 0; p < kPrograms; ++p) {
        for (int slot = 0; slot < kAllSlots; ++slot) out.values[p][slot] = programs_[p].value(slot);
        programs_[p].copyName(out.names[p], kNameChars);
    }
}

void EffectCore::writeBank(const Bank& bank) {
    for (int p = 0; p < kPrograms; ++p) {
        for (int slot = 0; slot < kAllSlots; ++slot)
            programs_[p].setValue(slot, SpectralRingModulator::clampValue(bank.values[p][slot]));
        programs_[p].setName(bank.names[p]);
    }
    if (bank.current >= 0 && bank.current < kPrograms)
        current_.store(bank.current, std::memory_order_release);
    changed();
    publish();
}

}  // namespace halvorine
