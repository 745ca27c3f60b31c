// The engine's sample loop, in one version per instruction set.
//
// Every version computes the same bits. A block runs in sub-blocks of up to
// kSubBlock frames: the inputs are prepared, both filter banks run with
// bands in vector lanes (frames in the outer loop), the band products are
// formed a frame row at a time, transposed, and summed in band order with
// frames in lanes; then the boost and the mix.
//
// This header is shared by files compiled with different instruction-set
// flags, so it declares only plain data and functions: nothing inline that
// the linker could pick from the wrong file.
#pragma once

namespace halvorine::dsp::kernel {

constexpr int kBands = 64;
constexpr int kSubBlock = 32;                  // frames per sub-block
constexpr int kMaxLanes = 16;                  // floats in the widest vector
constexpr int kRows = kSubBlock + kMaxLanes;   // frame rows, with room for a lane group's spill

// One filter bank: its coefficients widened once per design, and its
// history.
struct alignas(64) Bank {
    double b0[kBands];
    double b2[kBands];
    double a1[kBands];
    double a2[kBands];
    double y[2][kBands];  // the last two outputs: y[p] the latest, y[p ^ 1] the one before
    float x1, x2;         // the last two inputs (the same for every band)
    int p;
    bool opposite;        // every band's b2 is -b0, and b0 > 0
    // What a change of the width alone keeps from the design: each band's
    // centre frequency (after the limit below half the rate) and its
    // cosine term 2 cos(2 pi f / rate).
    alignas(64) float centre[kBands];
    alignas(64) float cosTerm[kBands];
};

// The fades of a change of the mix, the boost's gain or the shift: frame
// k = 1..frames after the change (its block's first frame is k = 1) takes
//   mix    F(mixFrom + (mixTo - mixFrom) k / N)   in the mix formula
//   gain   F(gainFrom + (gainTo - gainFrom) k / N)
//   sum    F(S(shiftFrom) (N - k) / N + S(shift) k / N)   S: the band sum
// in double, N = frames; from frame N on the new value alone. A step of N
// or more means no fade (all zeros: none).
//
// A new mix or gain fades from the value the latest frame played. The
// shift cannot: what plays during its fade is a blend of two band sums, not
// one shift. So a new shift found while the shift fades is held in
// shiftNext, and the frame after that fade's last starts a fade from the
// shift faded to (State::shift) to the held one; a later change replaces
// the held shift. shiftNext equals State::shift when none is held.
struct Glide {
    int frames;
    float mixFrom, mixTo;
    int mixStep;
    float gainFrom, gainTo;
    int gainStep;
    int shiftFrom;
    int shiftStep;
    int shiftNext;
};

struct alignas(64) State {
    Bank mod, car;
    // The modulator's outputs, one row per frame of the sub-block.
    alignas(64) float modOut[kRows][kBands];
    // The carrier's outputs, three rows late: row k + 3 holds frame k's.
    // So row k holds what frame k meets three frames late (the bands at and
    // above the shift), and row k + 3 the rest. Between sub-blocks rows
    // 0..2 hold the carrier's last three outputs.
    alignas(64) float carOut[kRows + 3][kBands];
    // Prepared inputs: [two frames back, one frame back, this sub-block...].
    alignas(64) float modIn[kSubBlock + 2 + kMaxLanes];
    alignas(64) float carIn[kSubBlock + 2 + kMaxLanes];
    alignas(64) float sums[kRows];   // boosted band sums
    alignas(64) float mixed[kRows];  // the output samples
    alignas(64) float sumsFrom[kRows];  // while the shift fades: the sums at the old shift
    // The settings of the block.
    int shift;
    float boost;
    float wet;
    bool dryIsModulator;
    Glide glide;
    float last;  // the latest output sample
};

// Runs `frames` frames. A frame whose band sum overflows is silent and
// both banks start again from silence after it.
using BlockFunction = void (*)(State& s, const float* in0, const float* in1, float* out0,
                               float* out1, int frames, bool accumulate);

// Designs the 64 band-pass filters of a bank (the band design of
// filter_design.cpp, eight bands at a time) into its widened coefficients.
// With `keepCentres` the centre frequencies and cosine terms of the last
// design are reused (only the width changed). Returns a bit for each band
// that keepStable() may have to repair; every other band is stable as
// designed.
using DesignFunction = unsigned long long (*)(Bank& b, float start, float finish, float width,
                                              float rate, bool keepCentres);

void processBlockSse2(State&, const float*, const float*, float*, float*, int, bool);
unsigned long long designBankSse2(Bank&, float, float, float, float, bool);
#if HALVORINE_NEON
void processBlockNeon(State&, const float*, const float*, float*, float*, int, bool);
unsigned long long designBankNeon(Bank&, float, float, float, float, bool);
void processBlockPlain(State&, const float*, const float*, float*, float*, int, bool);
unsigned long long designBankPlain(Bank&, float, float, float, float, bool);
#endif
#if HALVORINE_WIDE_SIMD
void processBlockAvx2(State&, const float*, const float*, float*, float*, int, bool);
unsigned long long designBankAvx2(Bank&, float, float, float, float, bool);
void processBlockAvx512(State&, const float*, const float*, float*, float*, int, bool);
unsigned long long designBankAvx512(Bank&, float, float, float, float, bool);
#endif

}  // namespace halvorine::dsp::kernel
