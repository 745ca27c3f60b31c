#include "bypass.h"

#include "dsp/numeric.h"

namespace halvorine::common {

void Bypass::setRate(double rate) {
    fadeFrames_ = dsp::glideFrames(rate);
    if (step_ > fadeFrames_) step_ = fadeFrames_;
}

void Bypass::settle() {
    target_ = weight_ = from_ = requested() ? 1.0 : 0.0;
    step_ = fadeFrames_;
}

void Bypass::mix(float* const* outputs, int outputChannels, const float* const* dry,
                 int dryChannels, int frames) {
    const double wanted = requested() ? 1.0 : 0.0;
    if (wanted != target_) {
        from_ = weight_;
        target_ = wanted;
        step_ = 0;
    }
    if (outputChannels > kMaxChannels) outputChannels = kMaxChannels;
    for (int i = 0; i < frames; ++i) {
        if (step_ < fadeFrames_) {
            ++step_;
            weight_ = step_ == fadeFrames_
                          ? target_
                          : from_ + (target_ - from_) * static_cast<double>(step_) / fadeFrames_;
        }
        if (weight_ == 0.0) continue;
        for (int c = 0; c < outputChannels; ++c) {
            double d = 0.0;
            if (dryChannels == 1) {
                d = dry[0][i];
            } else if (dryChannels >= 2) {
                d = outputChannels == 1
                        ? dsp::F((static_cast<double>(dry[0][i]) + static_cast<double>(dry[1][i])) * 0.5)
                        : dry[c][i];
            }
            if (!(d - d == 0.0)) d = 0.0;  // not finite: silence, as the effect takes it
            float& out = outputs[c][i];
            out = weight_ == 1.0 ? dsp::F(d)
                                 : dsp::F(static_cast<double>(out) * (1.0 - weight_) + d * weight_);
        }
    }
}

}  // namespace halvorine::common
