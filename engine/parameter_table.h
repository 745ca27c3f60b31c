// What each parameter means: its name, unit, range and default, how its
// normalised value 0..1 maps to units and back, its value text and how a
// text is read. Every binding (VST 2, LV2, VST 3, CLAP), the editor's
// readouts and the command-line host read this one table; nothing here
// knows of any host format or window.
#pragma once

#include <cstddef>

namespace halvorine::engine {

enum class Unit { None, Hertz, Percent, Bands, Mix, Decibels };

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

// Slot 0..10; any other slot gives the entry of slot 10 (no name, no unit).
const ParameterInfo& parameterInfo(int slot);

// A value in units to the normalised value, clamped into the slot's range
// first (not a number gives the minimum):
//   Hz    log2(f / 20) / 10, so 640 Hz is exactly 0.5
//   %     p / 100
//   bands the middle of the count's step, (n + 0.5) / 63 for the nearest
//         whole n, so the engine shifts exactly n bands (31 gives 0.5)
//   dB    (d + 20) / 40; -20 dB is the engine's silence
//   mix   as it is
// Slots without a unit take the value as it is, clamped to 0..1.
float toNormalised(int slot, double units);

// The other way: what a normalised value (clamped to 0..1) means in units.
// For the shift it is the engine's own band count.
double toUnits(int slot, float normalised);

// The longest value text a VST 2 host's display buffer takes, terminator
// apart. Every value text fits.
inline constexpr std::size_t kValueTextChars = 8;

// The value text of slot 0..8 in its unit, as the editor's readout shows
// it ("640Hz", "20.5KHz", "12.3%", "31", "100%/50", "-20dB"); for the mix
// without the readout's "M/C : ". Empty for every other slot. Writes at
// most capacity - 1 characters and a terminator (nothing when capacity is
// 0); returns the text's length. No allocation, no lock: hosts may ask on
// their audio thread.
std::size_t writeValueText(int slot, float normalised, char* out, std::size_t capacity);

// Reads a value text of slot 0..8, in the slot's unit or as a bare number:
// "640Hz", "1.2 kHz", "20480" (Hz); "12.3%"; "19 bands"; "50%/100";
// "+6dB". A quantity beyond the slot's range gives the end of the range.
// Every text writeValueText makes reads back to a value with that text, and
// "N bands" to a value the engine shifts by exactly N. Returns false,
// leaving `normalised` alone, for anything it cannot read.
bool parseValueText(int slot, const char* text, float& normalised);

}  // namespace halvorine::engine
