// The LV2 plug-in's ports: what they are called, their units and ranges,
// and how a value in units becomes the engine's normalised value and back.
// The DSP binary, the UI and the generated Turtle all read these tables, so
// the bundle's description cannot drift from the code.
#pragma once

#include <cmath>

#include "dsp/numeric.h"
#include "dsp/ring_modulator.h"

namespace halvorine::lv2 {

inline constexpr const char* kPluginUri = "urn:brindlex:halvorine";
inline constexpr const char* kUiUri = "urn:brindlex:halvorine:ui";
inline constexpr const char* kPresetUriPrefix = "urn:brindlex:halvorine:preset:";
inline constexpr const char* kPluginName = "Halvorine";
inline constexpr const char* kDspBinary = "halvorine.so";
inline constexpr const char* kUiBinary = "halvorine_ui.so";

struct AudioPort {
    const char* symbol;
    const char* name;
    bool input;
};

// Port indices 0..3.
inline constexpr AudioPort kAudioPorts[] = {
    {"mod_in", "Modulator", true},
    {"carr_in", "Carrier", true},
    {"out_l", "Out L", false},
    {"out_r", "Out R", false},
};
inline constexpr int kAudioPortCount = 4;

enum class Unit { Hertz, Percent, Bands, Mix, Decibels };

struct ControlPort {
    const char* symbol;
    const char* name;
    Unit unit;
    float minimum, maximum, defaultValue;
};

// Port indices 4..12; control port k drives engine slot k.
using Slot = dsp::SpectralRingModulator::Slot;
inline constexpr ControlPort kControlPorts[] = {
    {"mod_start", "Mod Start Freq", Unit::Hertz, 20.0f, 20480.0f, 20.0f},
    {"mod_finish", "Mod Finish Freq", Unit::Hertz, 20.0f, 20480.0f, 20480.0f},
    {"mod_q", "Mod Freq Q", Unit::Percent, 0.0f, 100.0f, 50.0f},
    {"carr_start", "Carr Start Freq", Unit::Hertz, 20.0f, 20480.0f, 20.0f},
    {"carr_finish", "Carr Finish Freq", Unit::Hertz, 20.0f, 20480.0f, 20480.0f},
    {"carr_q", "Carr Freq Q", Unit::Percent, 0.0f, 100.0f, 50.0f},
    {"shift", "Shift", Unit::Bands, 0.0f, 63.0f, 31.0f},
    {"mix", "Mix", Unit::Mix, 0.0f, 1.0f, 0.5f},
    {"boost", "Boost", Unit::Decibels, -20.0f, 20.0f, 10.0f},
};
inline constexpr int kControlPortCount = 9;
inline constexpr int kFirstControlPort = kAudioPortCount;
inline constexpr int kPortCount = kAudioPortCount + kControlPortCount;
static_assert(sizeof kAudioPorts / sizeof kAudioPorts[0] == kAudioPortCount);
static_assert(sizeof kControlPorts / sizeof kControlPorts[0] == kControlPortCount);
static_assert(Slot::kShift == 6 && Slot::kMix == 7 && Slot::kBoost == 8);

// The eight programs, "Preset 0" to "Preset 7", all hold the ports' defaults.
inline constexpr int kPresetCount = 8;

// A port value brought into the port's range, as the VST 2 setter clamps:
// above the maximum gives the maximum, below the minimum or not a number
// the minimum.
inline float clampToPort(const ControlPort& port, float value) {
    if (value > port.maximum) return port.maximum;
    if (!(value >= port.minimum)) return port.minimum;
    return value;
}

// A shift port value to the whole number of bands it asks for.
inline int bandsOf(float value) {
    return static_cast<int>(std::floor(static_cast<double>(value) + 0.5));
}

// A port value in units to the engine's normalised value 0..1.
//   Hz:    log2(f / 20) / 10, so 640 Hz is exactly 0.5
//   %:     p / 100
//   bands: the middle of the band count's step, (n + 0.5) / 63, so the
//          engine's roundDown(63 v) is exactly n (31 gives 0.5)
//   dB:    (d + 20) / 40; -20 dB is the engine's silence
inline float toNormalised(const ControlPort& port, float value) {
    const double v = clampToPort(port, value);
    double n = v;
    switch (port.unit) {
        case Unit::Hertz: n = std::log2(v / 20.0) / 10.0; break;
        case Unit::Percent: n = v / 100.0; break;
        case Unit::Bands: n = (bandsOf(static_cast<float>(v)) + 0.5) / 63.0; break;
        case Unit::Mix: break;
        case Unit::Decibels: n = (v + 20.0) / 40.0; break;
    }
    return dsp::SpectralRingModulator::clampValue(dsp::F(n));
}

// The other way, for the UI: what a normalised value means in units. For
// the shift this is the engine's own band count.
inline float toUnits(const ControlPort& port, float normalised) {
    const double v = dsp::SpectralRingModulator::clampValue(normalised);
    double u = v;
    switch (port.unit) {
        case Unit::Hertz: u = 20.0 * std::exp2(10.0 * v); break;
        case Unit::Percent: u = v * 100.0; break;
        case Unit::Bands: u = dsp::roundDown(dsp::F(63.0 * v)); break;
        case Unit::Mix: break;
        case Unit::Decibels: u = 40.0 * v - 20.0; break;
    }
    return clampToPort(port, dsp::F(u));
}

}  // namespace halvorine::lv2
