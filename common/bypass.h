// The host's bypass switch for formats that have one. Bypassed, the main
// input passes through unchanged (a stereo input stays stereo) while the
// effect keeps running behind it, so that switching back sounds as if it
// had been on all along. Every switch crossfades over 10 ms:
// N = max(1, round(rate / 100)) frames, and frame k = 1..N after the
// switch takes effect is
//     F(wet x (1 - w_k) + dry x w_k),  w_k = w_0 + (w_target - w_0) x k / N
// in double, w being 1 for bypassed; from frame N on w is exactly the
// target. A switch during a fade starts a new fade from the w in effect.
// Not bypassed and not fading, the output is the effect's own bits.
#pragma once

#include <atomic>

namespace halvorine::common {

class Bypass {
public:
    static constexpr int kMaxChannels = 2;

    // Any thread: the switch as the host or a loaded state sets it. The
    // audio thread starts its fade at the next frame it mixes.
    void request(bool bypassed) { requested_.store(bypassed, std::memory_order_release); }
    bool requested() const { return requested_.load(std::memory_order_acquire); }

    // While not processing: the fade length for this rate, and the switch
    // in force at once (construction, activation, a state loaded before
    // processing starts).
    void setRate(double rate);
    void settle();

    // Audio thread. True when mix() changes anything: bypassed or fading.
    bool mixing() const { return weight_ != 0.0 || requested() != (target_ != 0.0); }

    // Audio thread: mixes `frames` frames of the dry main input (dryChannels
    // 0, 1 or 2 pointers; 0 is silence) into the effect's outputs. A mono
    // output of a stereo input gets the channels' mean.
    void mix(float* const* outputs, int outputChannels, const float* const* dry, int dryChannels,
             int frames);

private:
    std::atomic<bool> requested_{false};
    // Audio thread (or while not processing).
    int fadeFrames_ = 441;
    int step_ = 0;          // frames of the current fade done; fadeFrames_ when none
    double from_ = 0.0;     // w where the fade began
    double target_ = 0.0;   // w where it ends
    double weight_ = 0.0;   // w of the latest frame
};

}  // namespace halvorine::common
