// The LV2 plug-in's ports. The audio ports are LV2's own; the control ports
// are the parameter table's named slots, in units. The DSP binary, the UI
// and the generated Turtle all read these tables, so the bundle's
// description cannot drift from the code.
#pragma once

#include "product.h"
#include "parameter_table.h"

namespace halvorine::lv2 {

inline constexpr const char* kPluginUri = "urn:brindlex:halvorine";
inline constexpr const char* kUiUri = "urn:brindlex:halvorine:ui";
inline constexpr const char* kPresetUriPrefix = "urn:brindlex:halvorine:preset:";
inline constexpr const char* kDspBinary = "halvorine.so";
inline constexpr const char* kUiBinary = "halvorine_ui.so";

struct AudioPort {
    const char* symbol;
    const char* name;
    bool input;
};

// Port indices 0..3. The carrier is a sidechain, so hosts that route them
// offer it as one.
inline constexpr AudioPort kAudioPorts[] = {
    {"mod_in", "Modulator", true},
    {"carr_in", "Carrier", true},
    {"out_l", "Out L", false},
    {"out_r", "Out R", false},
};
inline constexpr int kAudioPortCount = 4;

// Port indices 4..12: control port k drives engine slot k, with the
// parameter table's symbol, name, unit, range and default; a port value in
// units reaches the engine through the table's toNormalised.
inline constexpr int kControlPortCount = engine::kNamedParameters;
inline constexpr int kFirstControlPort = kAudioPortCount;
// Port 13: the host's bypass switch (lv2:enabled; 1 plays the effect, 0
// passes the modulator through, each switch fading over 10 ms).
inline constexpr int kEnabledPort = kFirstControlPort + kControlPortCount;
inline constexpr const char* kEnabledSymbol = "enabled";
// Ports 14..21: the carrier synth's controls, slots 11..18, in units like
// the others.
inline constexpr int kFirstSynthPort = kEnabledPort + 1;
inline constexpr int kSynthPortCount = engine::kSynthSlots;
// Port 22: the notes that play the synth, an atom sequence of MIDI events.
inline constexpr int kNotesPort = kFirstSynthPort + kSynthPortCount;
inline constexpr const char* kNotesSymbol = "notes";
inline constexpr int kPortCount = kNotesPort + 1;

// Every control port's slot, 0..8 then 11..18, in port order.
inline constexpr int kAllControlCount = kControlPortCount + kSynthPortCount;
inline constexpr int controlSlot(int k) { return k < kControlPortCount ? k : k - kControlPortCount + engine::kSynthFirstSlot; }
inline constexpr int controlPort(int k) { return k < kControlPortCount ? kFirstControlPort + k : kFirstSynthPort + k - kControlPortCount; }
static_assert(sizeof kAudioPorts / sizeof kAudioPorts[0] == kAudioPortCount);

// The bundle's presets are the factory presets (programs/factory_presets.h),
// each under kPresetUriPrefix and its name.

}  // namespace halvorine::lv2
