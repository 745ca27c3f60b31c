// Where the modulator and the carrier come from, for formats whose hosts
// route buses: a main input and a sidechain.
//   - With the sidechain connected (channels and buffers present), the
//     modulator is the main input and the carrier the sidechain.
//   - Without it, the main input's first channel is the modulator and its
//     second the carrier, as in VST 2; a mono main input then has a silent
//     carrier.
//   - A stereo bus becomes mono as its mean, (L + R) / 2 rounded to float
//     once, so a signal copied to both channels gives exactly its own bits.
// Output: every output channel (one or two) carries the result.
#pragma once

#include "bypass.h"
#include "effect_core.h"
#include "note_events.h"

namespace halvorine::common {

class BusInputs {
public:
    static constexpr int kMaxFrames = 1024;  // prepare() takes at most this many frames

    // Points `modulator` and `carrier` at the mono signals of frames
    // [offset, offset + frames) of the buses. The pointers stay valid until
    // the next call. No allocation.
    void prepare(const float* const* main, int mainChannels, const float* const* side,
                 int sideChannels, int offset, int frames, const float*& modulator,
                 const float*& carrier);

    // A copy of the main input, for a bypass whose outputs may be the
    // inputs themselves.
    const float* const* keepDry(const float* const* main, int channels, int offset, int frames);

private:
    float modulator_[kMaxFrames];
    float carrier_[kMaxFrames];
    float dry_[Bypass::kMaxChannels][kMaxFrames];
    const float* dryChannels_[Bypass::kMaxChannels] = {dry_[0], dry_[1]};
};

// True when a bus with these channels can be read: at least one channel
// and a buffer for each of the first two.
bool busConnected(const float* const* channels, int count);

// Renders frames [offset, offset + frames) of the buses through the core
// into the output channels, in pieces of at most BusInputs::kMaxFrames,
// and through the bypass when one is given, playing the block's notes of
// those frames (the notes' frames count from `notesAt` frames before
// `offset`). Outputs may be the input buffers themselves.
void renderBuses(EffectCore& core, BusInputs& scratch, const float* const* main, int mainChannels,
                 const float* const* side, int sideChannels, float* const* outputs,
                 int outputChannels, int offset, int frames, Bypass* bypass = nullptr,
                 NoteEvents* notes = nullptr, int notesAt = 0);

}  // namespace halvorine::common
