#include "bus_rules.h"

#include <cstring>

#include "dsp/numeric.h"

namespace halvorine::common {
namespace {

// A bus as one signal: its only channel, or the mean of the first two.
const float* mono(const float* const* channels, int count, int offset, int frames,
                  float* scratch) {
    if (count == 1) return channels[0] + offset;
    const float* l = channels[0] + offset;
    const float* r = channels[1] + offset;
    for (int i = 0; i < frames; ++i)
        scratch[i] = dsp::F((static_cast<double>(l[i]) + static_cast<double>(r[i])) * 0.5);
    return scratch;
}

}  // namespace

bool busConnected(const float* const* channels, int count) {
    if (!channels || count <= 0 || !channels[0]) return false;
    return count == 1 || channels[1];
}

void BusInputs::prepare(const float* const* main, int mainChannels, const float* const* side,
                        int sideChannels, int offset, int frames, const float*& modulator,
                        const float*& carrier) {
    if (frames > kMaxFrames) frames = kMaxFrames;
    if (busConnected(side, sideChannels)) {
        modulator = busConnected(main, mainChannels)
                        ? mono(main, mainChannels, offset, frames, modulator_)
                        : static_cast<const float*>(std::memset(modulator_, 0, sizeof modulator_));
        carrier = mono(side, sideChannels, offset, frames, carrier_);
        return;
    }
    if (!busConnected(main, mainChannels)) {
        std::memset(modulator_, 0, sizeof(float) * static_cast<unsigned>(frames));
        modulator = carrier = modulator_;
        return;
    }
    modulator = main[0] + offset;
    if (mainChannels >= 2) {
        carrier = main[1] + offset;
    } else {
        std::memset(carrier_, 0, sizeof(float) * static_cast<unsigned>(frames));
        carrier = carrier_;
    }
}

const float* const* BusInputs::keepDry(const float* const* main, int channels, int offset,
                                       int frames) {
    for (int c = 0; c < channels && c < Bypass::kMaxChannels; ++c)
        std::memcpy(dry_[c], main[c] + offset, sizeof(float) * static_cast<unsigned>(frames));
    return dryChannels_;
}

void renderBuses(EffectCore& core, BusInputs& scratch, const float* const* main, int mainChannels,
                 const float* const* side, int sideChannels, float* const* outputs,
                 int outputChannels, int offset, int frames, Bypass* bypass, NoteEvents* notes,
                 int notesAt) {
    const int dryChannels = busConnected(main, mainChannels)
                                ? (mainChannels < Bypass::kMaxChannels ? mainChannels
                                                                       : Bypass::kMaxChannels)
                                : 0;
    for (int done = 0; done < frames;) {
        const int n = frames - done < BusInputs::kMaxFrames ? frames - done : BusInputs::kMaxFrames;
        const float* in[2];
        scratch.prepare(main, mainChannels, side, sideChannels, offset + done, n, in[0], in[1]);
        float* out[2] = {outputChannels > 0 && outputs ? outputs[0] + offset + done : nullptr,
                         outputChannels > 1 && outputs ? outputs[1] + offset + done : nullptr};
        if (out[0]) {
            const bool mixing = bypass && bypass->mixing();
            const float* const* dry =
                mixing && dryChannels ? scratch.keepDry(main, dryChannels, offset + done, n) : nullptr;
            int count = 0;
            const dsp::NoteEvent* events = notes ? notes->slice(notesAt + offset + done, n, count) : nullptr;
            core.process(in, out, n, false, events, count);
            if (mixing) bypass->mix(out, out[1] ? 2 : 1, dry, dry ? dryChannels : 0, n);
        }
        done += n;
    }
}

}  // namespace halvorine::common
