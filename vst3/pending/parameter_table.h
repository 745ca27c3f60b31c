#pragma once
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include "dsp/numeric.h"
#include "dsp/ring_modulator.h"
#include "parameter_text.h"
namespace halvorine::engine {
enum class Unit { None, Hertz, Percent, Bands, Mix, Decibels };
struct ParameterInfo {
    const char* name; const char* symbol; const char* unitLabel; Unit unit;
    float minimum, maximum, defaultUnits, defaultValue; int steps; bool logarithmic;
};
inline constexpr int kSlots = 11;
inline constexpr int kHostParameters = 10;
inline constexpr int kNamedParameters = 9;
inline const ParameterInfo& parameterInfo(int slot) {
    static const ParameterInfo table[kSlots] = {
        {"Mod Start Freq", "mod_start", "Hz", Unit::Hertz, 20, 20480, 20, 0.0f, 0, true},
        {"Mod Finish Freq", "mod_finish", "Hz", Unit::Hertz, 20, 20480, 20480, 1.0f, 0, true},
        {"Mod Freq Q", "mod_q", "%", Unit::Percent, 0, 100, 50, 0.5f, 0, false},
        {"Carr Start Freq", "carr_start", "Hz", Unit::Hertz, 20, 20480, 20, 0.0f, 0, true},
        {"Carr Finish Freq", "carr_finish", "Hz", Unit::Hertz, 20, 20480, 20480, 1.0f, 0, true},
        {"Carr Freq Q", "carr_q", "%", Unit::Percent, 0, 100, 50, 0.5f, 0, false},
        {"Shift", "shift", "bands", Unit::Bands, 0, 63, 31, 0.5f, 63, false},
        {"Mix", "mix", "", Unit::Mix, 0, 1, 0.5f, 0.5f, 0, false},
        {"Boost", "boost", "dB", Unit::Decibels, -20, 20, 10, 0.75f, 0, false},
        {"", "", "", Unit::None, 0, 1, 0, 0, 0, false},
        {"", "", "", Unit::None, 0, 1, 0, 0, 0, false},
    };
    return table[slot < 0 || slot >= kSlots ? kSlots - 1 : slot];
}
inline double toUnits(int slot, float v) {
    v = dsp::SpectralRingModulator::clampValue(v);
    switch (parameterInfo(slot).unit) {
        case Unit::Hertz: return 20.0 * std::exp2(10.0 * v);
        case Unit::Percent: return v * 100.0;
        case Unit::Bands: return dsp::roundDown(dsp::F(63.0 * v));
        case Unit::Decibels: return 40.0 * v - 20.0;
        default: return v;
    }
}
inline float toNormalised(int slot, double u) {
    const ParameterInfo& p = parameterInfo(slot);
    if (!(u >= p.minimum)) u = p.minimum;
    if (u > p.maximum) u = p.maximum;
    double n = u;
    switch (p.unit) {
        case Unit::Hertz: n = std::log2(u / 20.0) / 10.0; break;
        case Unit::Percent: n = u / 100.0; break;
        case Unit::Bands: n = (std::floor(u + 0.5) + 0.5) / 63.0; break;
        case Unit::Decibels: n = (u + 20.0) / 40.0; break;
        default: break;
    }
    return dsp::SpectralRingModulator::clampValue(dsp::F(n));
}
inline std::size_t writeValueText(int slot, float v, char* out, std::size_t capacity) {
    const std::string s = valueText(slot, v);  // stand-in: allocates
    std::size_t n = s.size() < capacity ? s.size() : capacity - 1;
    std::memcpy(out, s.data(), n); out[n] = 0; return n;
}
}  // namespace halvorine::engine
