#pragma once
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include "dsp/ring_modulator.h"
#include "parameter_table.h"
namespace halvorine {
class EffectCore {
public:
    static constexpr int kPrograms = 8, kSlots = 11, kNameChars = 60;
    EffectCore() {
        for (int p = 0; p < kPrograms; ++p) {
            for (int s = 0; s < kSlots; ++s) values_[p][s] = engine::parameterInfo(s).defaultValue;
            std::snprintf(names_[p], sizeof names_[p], "Preset %d", p);
        }
        setProgram(7);
    }
    void setParameter(int slot, float v) {
        if (slot < 0 || slot >= kSlots) return;
        v = dsp::SpectralRingModulator::clampValue(v);
        engine_.setParameter(slot, v); values_[program_][slot] = v;
    }
    float parameter(int slot) const { return engine_.parameter(slot); }
    void setProgram(int p) {
        if (p < 0 || p >= kPrograms) return;
        program_ = p; std::array<float, kSlots> a{};
        for (int s = 0; s < kSlots; ++s) a[s] = values_[p][s];
        engine_.setParameters(a);
    }
    int program() const { return program_; }
    float programValue(int p, int s) const { return values_[p][s]; }
    void setProgramName(int p, const char* n) { if (p >= 0 && p < kPrograms) std::snprintf(names_[p], sizeof names_[p], "%s", n); }
    std::size_t copyProgramName(int p, char* out, std::size_t maxChars) const {
        std::size_t n = std::strlen(names_[p]); if (n > maxChars) n = maxChars;
        std::memcpy(out, names_[p], n); out[n] = 0; return n;
    }
    void setSampleRate(float r) { if (r > 0 && r < 1e30f) { rate_ = r; engine_.setDesignRate(r); } }
    float sampleRate() const { return rate_; }
    void process(const float* const* in, float* const* out, int frames) {
        float* o[2] = {out[0], out[1] ? out[1] : out[0]};
        engine_.process(in, o, frames, false);
    }
    void reset() {}
    struct Bank { int current; float values[kPrograms][kSlots]; char names[kPrograms][kNameChars + 1]; };
    void readBank(Bank& b) const { b.current = program_; std::memcpy(b.values, values_, sizeof values_); std::memcpy(b.names, names_, sizeof names_); }
    void writeBank(const Bank& b) { std::memcpy(values_, b.values, sizeof values_); std::memcpy(names_, b.names, sizeof names_); setProgram(b.current); }
    dsp::SpectralRingModulator& engine() { return engine_; }
private:
    dsp::SpectralRingModulator engine_;
    float values_[kPrograms][kSlots]{};
    char names_[kPrograms][kNameChars + 1]{};
    std::atomic<int> program_{0};
    float rate_ = 44100.0f;
};
}  // namespace halvorine
