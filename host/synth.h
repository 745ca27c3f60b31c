// The demo's two input signals, synthesised so the demo needs no files.
#pragma once

#include <vector>

namespace halvorine::host {

// A sung, rhythmic phrase: a pulse voice gliding between notes, through
// three formant resonators that move from vowel to vowel, with a breathy
// consonant at the start of every syllable. Peak 0.4.
std::vector<float> synthModulator(int sampleRate, double seconds);

// Detuned sawtooth chords (Am, F, C, G), three voices a note. Peak 0.4.
std::vector<float> synthCarrier(int sampleRate, double seconds);

}  // namespace halvorine::host
