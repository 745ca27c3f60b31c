#include "effect_core.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "dsp/filter_design.h"
#include "dsp/numeric.h"

namespace halvorine {

using dsp::SpectralRingModulator;

EffectCore::EffectCore() {
    for (auto& input : tailInputs_) input.store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
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

namespace {

// ln x for x > 0 in plain double arithmetic, so that every target counts
// the same tail (and a plug-in that sleeps after it renders the same bits):
// x = m 2^e with m in [0.71, 1.42), ln m = 2 atanh((m - 1) / (m + 1)).
double logOf(double x) {
    int e = 0;
    double m = std::frexp(x, &e);
    if (m < 0.7071067811865476) {
        m *= 2.0;
        --e;
    }
    const double s = (m - 1.0) / (m + 1.0), s2 = s * s;
    double term = s, sum = 0.0;
    for (int k = 1; k <= 25; k += 2) {  // |s| <= 0.172: 13 terms reach double precision
        sum += term / k;
        term *= s2;
    }
    return 2.0 * sum + e * 0.6931471805599453;
}

// The radius of a band's poles, the roots of z^2 + a1 z + a2.
double poleRadius(const dsp::BandCoefficients& c) {
    const double a1 = c.a1, a2 = c.a2;
    const double discriminant = a1 * a1 - 4.0 * a2;
    if (discriminant < 0.0) return std::sqrt(a2);
    return (std::fabs(a1) + std::sqrt(discriminant)) / 2.0;
}

// Frames until the slowest band of the two banks has fallen 100 dB.
std::uint32_t ringingFrames(const float (&in)[7]) {
    double slowest = 0.0;
    for (int bank = 0; bank < 2; ++bank) {
        const float* b = in + 3 * bank;  // start, finish, width
        for (int band = 0; band < SpectralRingModulator::kBands; ++band) {
            const float f = dsp::bandFrequency(b[0], b[1], band, SpectralRingModulator::kLastBand);
            const double r = poleRadius(dsp::designBand(dsp::kFilterBandPass, f, b[2], in[6]));
            if (r > slowest) slowest = r;
        }
    }
    const double frames = slowest > 0.0 && slowest < 1.0 ? std::ceil(-11.512925464970229 / logOf(slowest)) : 0.0;
    const double glide = dsp::glideFrames(in[6]);
    constexpr double kMost = 4294967295.0;
    return static_cast<std::uint32_t>(frames > kMost ? kMost : frames > glide ? frames : glide);
}

}  // namespace

std::uint32_t EffectCore::tailFrames() const {
    const dsp::Settings s = engine_.settings();
    using M = SpectralRingModulator;
    const float in[kTailInputs] = {s.values[M::kModStart],  s.values[M::kModFinish],  s.values[M::kModWidth],
                                   s.values[M::kCarrStart], s.values[M::kCarrFinish], s.values[M::kCarrWidth],
                                   s.rate};
    // A sequence lock: the data is read with acquire and written with
    // release, so a reader that sees any word of a rewrite sees the count
    // that rewrite made odd.
    const std::uint32_t seen = tailSequence_.load(std::memory_order_acquire);
    if (!(seen & 1u)) {
        bool same = true;
        for (int i = 0; i < kTailInputs; ++i) same = same && tailInputs_[i].load(std::memory_order_acquire) == in[i];
        const std::uint32_t frames = tailFrames_.load(std::memory_order_acquire);
        if (same && tailSequence_.load(std::memory_order_relaxed) == seen) return frames;
    }
    const std::uint32_t frames = ringingFrames(in);
    // Kept for the next caller unless another thread is writing it now.
    std::uint32_t even = tailSequence_.load(std::memory_order_relaxed);
    if (!(even & 1u) && tailSequence_.compare_exchange_strong(even, even + 1, std::memory_order_acq_rel)) {
        for (int i = 0; i < kTailInputs; ++i) tailInputs_[i].store(in[i], std::memory_order_release);
        tailFrames_.store(frames, std::memory_order_release);
        tailSequence_.store(even + 2, std::memory_order_release);
    }
    return frames;
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
