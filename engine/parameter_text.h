// Parameter values as text, in each parameter's own unit: the editor's
// readout and the host's display both come from here, and the host's text
// comes back to a value through here. Pure functions of a normalised value
// 0..1; nothing here knows of windows or hosts.
#pragma once

#include <cstddef>
#include <string>

namespace halvorine::engine {

// e^(0.6931472 y) as a 32-bit float: 2^y within a few parts in ten million.
float twoPower(float y);

// Plain decimal integer.
std::string integerText(long long n);
// Shortest decimal form with at most 15 significant digits, no trailing
// zeros, no separator for whole numbers; the separator is the locale's.
std::string generalText(double x);

// 20 * 2^(10 v) Hz as "640Hz" or, from 1000 Hz, "20.5KHz".
std::string frequencyText(float v);
// v in percent with one decimal: "12.3%".
std::string percentText(float v);
// v * scale - offset in tenths, rounded down: "-20dB", "7.9dB".
std::string levelText(float v, float scale, float offset);
// x rounded down to a step of 1/stepsPerUnit.
std::string steppedText(float x, float stepsPerUnit);
// The mix ratio, modulator part / carrier part: "50%/100", "100%/50".
std::string mixRatioText(float v);
// The mix as the readout shows it: "M/C : 50%/100".
std::string mixText(float v);
// The band shift as shown: 0..63.
std::string bandCountText(float v);

// The longest value text a host's display buffer takes, terminator apart.
inline constexpr std::size_t kValueTextChars = 8;

// The value text of host slot 0..8 as the readout shows it (for the mix,
// without the readout's "M/C : "); empty for every other slot.
std::string valueText(int slot, float v);

// Reads a value text of slot 0..8, in the slot's unit or as a bare number:
// "640Hz", "1.2 kHz", "20480" (Hz); "12.3%"; "19 bands"; "50%/100";
// "+6dB". A quantity beyond the slot's range gives the end of the range.
// For every text valueText makes, valueText(slot, value) gives that text
// back. Returns false, leaving value alone, for anything it cannot read.
bool parseValueText(int slot, const char* text, float& value);

}  // namespace halvorine::engine
