// The readout texts: a parameter's value in its own unit. Pure functions of
// a normalised value 0..1; the window's formatters call them with its
// mirror's values.
#pragma once

#include <string>

namespace halvorine::editor {

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
// The mix as "M/C : 50%/100" (modulator part / carrier part).
std::string mixText(float v);
// The band shift as shown: 0..63.
std::string bandCountText(float v);

}  // namespace halvorine::editor
