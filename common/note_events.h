// A block's notes for the carrier synth, in a fixed array (nothing
// allocates on the audio thread), from whichever form the host sends:
// note events of its own format, or MIDI bytes. Each keeps its frame in the
// block; renderBuses hands the engine the ones of each piece it renders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dsp/carrier_synth.h"

namespace halvorine::common {

class NoteEvents {
public:
    static constexpr int kCapacity = 1024;

    // A new block of `frames` frames.
    void clear(int frames) {
        size_ = 0;
        frames_ = frames;
    }
    // Beyond kCapacity in one block further notes are dropped; releases
    // (offs, pedal up, all off) take the place of the latest note-on, so
    // no key is left hanging.
    void add(const dsp::NoteEvent& e);
    // A MIDI channel message at `frame`: note on and off, pitch bend, the
    // sustain pedal (CC 64), all sound off (CC 120) and all notes off (CC
    // 123), on any channel. Returns false for anything else.
    bool addMidi(int frame, const std::uint8_t* bytes, std::size_t size);
    // Orders by frame; events at the same frame keep their order.
    void sort();
    int size() const { return size_; }
    const dsp::NoteEvent& operator[](int i) const { return events_[i]; }

    // The events of frames [start, start + count), their frames counted
    // from start; the block's first piece takes those before the block, its
    // last those after. Valid until the next call.
    const dsp::NoteEvent* slice(int start, int count, int& n);

private:
    dsp::NoteEvent events_[kCapacity];
    dsp::NoteEvent slice_[kCapacity];
    int size_ = 0;
    int frames_ = 0;
};

}  // namespace halvorine::common
