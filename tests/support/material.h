// The material the factory presets are levelled and described on: modulators
// of different kinds, each into the demo's chords as the carrier, at 44.1 kHz.
#pragma once

#include <string>
#include <vector>

namespace halvorine::test {

inline constexpr int kMaterialRate = 44100;

struct Material {
    const char* name;
    std::vector<float> modulator;
};

// The demo's sung phrase as the demo plays it (6 s), then at -20 dBFS RMS
// each: a spoken phrase in a British male and an American female voice
// (tests/material, read from `dir`), a drum loop (one bar, kick, snare
// and hi-hats, made here) and white noise. A spoken phrase that cannot be
// read leaves its modulator empty.
std::vector<Material> presetMaterial(const std::string& dir);

// The demo's chords, as long as the longest modulator.
std::vector<float> materialCarrier();

// A 16-bit mono PCM WAV file at 22050 Hz, upsampled to 44.1 kHz; empty when
// the file cannot be read or is in another form.
std::vector<float> readSpokenPhrase(const std::string& path);

// The power spectrum of `x` summed over Hann windows of 4096 frames (half
// overlapping): bin k is k * rate / 4096 Hz.
std::vector<double> powerSpectrum(const std::vector<float>& x);

// The share of the spectrum's energy from `lo` to below `hi` Hz.
double energyShare(const std::vector<double>& spectrum, double lo, double hi);

}  // namespace halvorine::test
