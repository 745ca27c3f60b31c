// What each parameter means: its name, unit, range and default, how its
// normalised value 0..1 maps to units and back, its value text and how a
// text is read. Every binding (VST 2, LV2, VST 3, CLAP), the editor's
// readouts and the command-line host read this one table; nothing here
// knows of any host format or window.
#pragma once

#include <cstddef>

namespace halvorine::engine {

enum class Unit {
    None, Hertz, Percent, Bands, Mix, Decibels,
    // The carrier synth's: a named choice (units = its index), cents,
    // octaves (a signed whole number), milliseconds on a logarithmic axis,
    // and a note name or "Off" (units = 0 for Off, else 1 + key - 12).
    Choice, Cents, Octaves, Milliseconds, Note
};

struct ParameterInfo {
    const char* name;       // as hosts show it; "" for slots 9 and 10
    const char* symbol;     // a short identifier ("mod_start"); "" for 9 and 10
    const char* unitLabel;  // "Hz", "%", "bands", "", "dB"
    Unit unit;
    float minimum, maximum;  // the range in units
    float defaultUnits;      // the default in units
    float defaultValue;      // the normalised value every program starts with
    int steps;               // 0: continuous; the shift has 63 steps (64 values)
    bool logarithmic;        // the frequencies
};

inline constexpr int kSlots = 11;           // 0..9 host parameters, 10 internal
inline constexpr int kHostParameters = 10;  // what a VST 2 host sees
inline constexpr int kNamedParameters = 9;  // 0..8: the ones with a meaning

// The carrier synth's slots follow, 11..18, in the formats that have it
// (VST 3, CLAP, LV2, the command-line host); the VST 2 binding, its
// programs and files keep to slots 0..10.
inline constexpr int kSynthFirstSlot = 11;
inline constexpr int kSynthSlots = 8;
inline constexpr int kAllSlots = kSynthFirstSlot + kSynthSlots;  // 19

enum SynthSlot : int {
    kCarrierSlot = 11,       // "Input" or "Synth"
    kSynthWaveSlot = 12,     // "Saw", "Square", "Pulse"
    kSynthNoiseSlot = 13,    // 0..100 %
    kSynthDetuneSlot = 14,   // 0..50 cents
    kSynthOctaveSlot = 15,   // -2..+2
    kSynthAttackSlot = 16,   // 1 ms..1 s
    kSynthReleaseSlot = 17,  // 5 ms..5 s
    kDroneSlot = 18,         // "Off" or C0..C8
};

// Slots with a meaning: 0..8 and 11..18.
inline constexpr bool isNamedSlot(int slot) {
    return (slot >= 0 && slot < kNamedParameters) || (slot >= kSynthFirstSlot && slot < kAllSlots);
}

// Slot 0..18; any other slot gives the entry of slot 10 (no name, no unit).
const ParameterInfo& parameterInfo(int slot);

// The index of a stepped slot's step at v (0..steps): floor(v (steps + 1)),
// so every step holds an equal share of 0..1; step k is the value k / steps.
int stepIndex(int slot, float normalised);

// The drone's key at v: -1 for "Off", else 12 (C0) .. 108 (C8).
int droneKey(float normalised);
// A key's name in scientific pitch, sharps for black keys ("C4", "F#2",
// "C-1" for key 0); middle C (60) is C4. At most 4 characters and a
// terminator; out must hold 5.
void writeNoteName(int key, char* out);

// A value in units to the normalised value, clamped into the slot's range
// first (not a number gives the minimum):
//   Hz    log2(f / 20) / 10, so 640 Hz is exactly 0.5
//   %     p / 100
//   bands the middle of the count's step, (n + 0.5) / 63 for the nearest
//         whole n, so the engine shifts exactly n bands (31 gives 0.5)
//   dB    (d + 20) / 40; -20 dB is the engine's silence
//   mix   as it is
//   a choice, the octave, the drone: the step's value, index / steps, for
//         the nearest whole index (units minus the minimum)
//   cents c / 50
//   ms    the lowest value whose toUnits reaches t (log(t / min) / log 1000)
// Slots without a unit take the value as it is, clamped to 0..1. The
// synth's slots map the same bits on every target.
float toNormalised(int slot, double units);

// The other way: what a normalised value (clamped to 0..1) means in units.
// For the shift it is the engine's own band count.
double toUnits(int slot, float normalised);

// The longest value text a VST 2 host's display buffer takes, terminator
// apart. Every value text fits.
inline constexpr std::size_t kValueTextChars = 8;

// The value text of slot 0..8 or 11..18 in its unit, as the editor's readout shows
// it ("640Hz", "20.5KHz", "12.3%", "31", "100%/50", "-20dB"); for the mix
// without the readout's "M/C : ". Empty for every other slot. Writes at
// most capacity - 1 characters and a terminator (nothing when capacity is
// 0); returns the text's length. The synth's texts: "Input", "Synth";
// "Saw", "Square", "Pulse"; "12.3%"; "10 cents", "12.5 cents"; "+1", "0",
// "-2"; "10.0 ms", "150 ms", "1.00 s"; "Off", "A3", "F#2". They are longer
// than a VST 2 display takes; no VST 2 host sees them. No allocation, no lock: hosts may ask on
// their audio thread.
std::size_t writeValueText(int slot, float normalised, char* out, std::size_t capacity);

// Reads a value text of slot 0..8 or 11..18, in the slot's unit or as a
// bare number: "640Hz", "1.2 kHz", "20480" (Hz); "12.3%"; "19 bands";
// "50%/100"; "+6dB"; a choice's name in any letter case or its index;
// "10 cents", "0"; "+1", "-2 oct"; "10 ms", "1.5 s", "150" (ms); "Off",
// "A3", "f#2", "Bb4", "C8". A quantity beyond the slot's range gives the end of the range.
// Every text writeValueText makes reads back to a value with that text, and
// "N bands" to a value the engine shifts by exactly N. Returns false,
// leaving `normalised` alone, for anything it cannot read.
bool parseValueText(int slot, const char* text, float& normalised);

}  // namespace halvorine::engine
