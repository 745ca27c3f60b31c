// The editor readout's texts of normalised values 0..1, in each parameter's
// own unit. The same texts as the parameter table's value texts (see
// parameter_table.h), which the hosts see; these return strings for the
// editor's convenience. Nothing here knows of windows or hosts.
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
// The band shift: the engine's own count, 0..63.
std::string bandCountText(float v);

// The value text of slot 0..8 as writeValueText makes it (parameter_table.h).
std::string valueText(int slot, float v);

}  // namespace halvorine::engine
