#include "note_events.h"

namespace halvorine::common {

using dsp::NoteEvent;

void NoteEvents::add(const NoteEvent& e) {
    if (size_ < kCapacity) {
        events_[size_++] = e;
        return;
    }
    if (e.kind == NoteEvent::On || e.kind == NoteEvent::Bend) return;
    for (int i = size_ - 1; i >= 0; --i)
        if (events_[i].kind == NoteEvent::On) {
            events_[i] = e;
            return;
        }
}

bool NoteEvents::addMidi(int frame, const std::uint8_t* bytes, std::size_t size) {
    if (!bytes || size < 2) return false;
    const int status = bytes[0] & 0xF0;
    const int a = bytes[1] & 0x7F, b = size >= 3 ? bytes[2] & 0x7F : 0;
    NoteEvent e;
    e.frame = frame;
    e.key = static_cast<std::int16_t>(a);
    switch (status) {
        case 0x80:
            if (size < 3) return false;
            e.kind = NoteEvent::Off;
            break;
        case 0x90:
            if (size < 3) return false;
            e.kind = b == 0 ? NoteEvent::Off : NoteEvent::On;
            e.value = static_cast<float>(b / 127.0);
            break;
        case 0xE0:
            if (size < 3) return false;
            e.kind = NoteEvent::Bend;
            e.value = static_cast<float>(((b << 7 | a) - 8192) / 8192.0);
            break;
        case 0xB0:
            if (size < 3) return false;
            if (a == 64) {
                e.kind = NoteEvent::Sustain;
                e.value = b >= 64 ? 1.0f : 0.0f;
            } else if (a == 123) {
                e.kind = NoteEvent::AllOff;
            } else if (a == 120) {
                e.kind = NoteEvent::Choke;
                e.key = -1;
            } else {
                return false;
            }
            break;
        default: return false;
    }
    add(e);
    return true;
}

void NoteEvents::sort() {
    // Insertion sort: hosts send them in order or nearly so.
    for (int i = 1; i < size_; ++i) {
        const NoteEvent e = events_[i];
        int j = i;
        for (; j > 0 && events_[j - 1].frame > e.frame; --j) events_[j] = events_[j - 1];
        events_[j] = e;
    }
}

const NoteEvent* NoteEvents::slice(int start, int count, int& n) {
    n = 0;
    const bool last = start + count >= frames_;
    for (int i = 0; i < size_; ++i) {
        const int f = events_[i].frame;
        if ((f >= start || start == 0) && (f < start + count || last)) {
            slice_[n] = events_[i];
            slice_[n].frame = f < start ? 0 : f - start;
            ++n;
        }
    }
    return slice_;
}

}  // namespace halvorine::common
