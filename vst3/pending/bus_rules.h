#pragma once
#include "effect_core.h"
namespace halvorine::common {
class BusInputs {
public:
    static constexpr int kMaxFrames = 4096;
    void prepare(const float* const* main, int mainChannels, const float* const* side, int sideChannels,
                 int offset, int frames, const float*& modulator, const float*& carrier) {
        auto mono = [&](const float* const* bus, int ch, float* scratch) -> const float* {
            if (ch == 1) return bus[0] + offset;
            for (int i = 0; i < frames; ++i) scratch[i] = dsp::F((static_cast<double>(bus[0][offset + i]) + bus[1][offset + i]) / 2);
            return scratch;
        };
        if (sideChannels > 0 && side && side[0]) { modulator = mono(main, mainChannels, mod_); carrier = mono(side, sideChannels, car_); return; }
        modulator = main[0] + offset;
        if (mainChannels > 1) carrier = main[1] + offset;
        else { for (int i = 0; i < frames; ++i) car_[i] = 0.0f; carrier = car_; }
    }
private:
    float mod_[kMaxFrames]; float car_[kMaxFrames];
};
inline void renderBuses(EffectCore& core, BusInputs& scratch, const float* const* main, int mainChannels,
                        const float* const* side, int sideChannels, float* const* outputs, int outputChannels,
                        int offset, int frames) {
    for (int done = 0; done < frames;) {
        int n = frames - done < BusInputs::kMaxFrames ? frames - done : BusInputs::kMaxFrames;
        const float* m; const float* c;
        scratch.prepare(main, mainChannels, side, sideChannels, offset + done, n, m, c);
        const float* in[2] = {m, c};
        float* out[2] = {outputs[0] + offset + done, outputChannels > 1 ? outputs[1] + offset + done : nullptr};
        core.process(in, out, n); done += n;
    }
}
}  // namespace halvorine::common
