// The carrier synth's oscillator loop, in one version per instruction set,
// chosen with the engine's sample loop. Every version computes the same
// bits: each sample is the same float operations in the same order.
//
// This header is shared by files compiled with different instruction-set
// flags, so it declares only plain data and functions: nothing inline that
// the linker could pick from the wrong file.
#pragma once

#include <cstdint>

namespace halvorine::dsp::voice {

// The most frames one call renders.
constexpr int kMaxFrames = 64;

// A voice's three oscillators. Phases and steps in turns * 2^32: exact, and
// the wrap is free. Table o holds 2^bits[o] samples and one guard sample
// past its end (the first again); bits are 11 to 14.
struct Oscillators {
    const float* table[3];
    int bits[3];
    std::uint32_t phase[3];
    std::uint32_t increment[3];
};

// For each frame i < n (n <= kMaxFrames):
//   sum[i] += gain[i] * ((x0 + x1) + x2)
// in float, where oscillator o reads its table between two samples:
//   x = t[j] + f * (t[j + 1] - t[j]),  j = phase >> (32 - bits),
//   f = ((phase << bits) >> 8) / 2^24
// and then steps its phase by its increment.
using Function = void (*)(Oscillators& o, const float* gain, float* sum, int n);

void oscillatePlain(Oscillators&, const float*, float*, int);
void oscillateAvx2(Oscillators&, const float*, float*, int);

}  // namespace halvorine::dsp::voice
