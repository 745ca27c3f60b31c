// The LV2 plug-in: the spectral ring modulator behind LV2's port interface.
// Control ports carry values in units; at the start of every run each one
// that changed since the last run reaches the engine as a parameter change,
// as a VST 2 host's setParameter would.
#include <lv2/core/lv2.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>

#include "bypass.h"
#include "dsp/numeric.h"
#include "dsp/ring_modulator.h"
#include "ports.h"

namespace halvorine::lv2 {
namespace {

using dsp::SpectralRingModulator;

struct Instance {
    std::optional<SpectralRingModulator> engine;  // made afresh by every activate
    float rate = 44100.0f;
    const float* inputs[2] = {nullptr, nullptr};  // modulator, carrier
    float* outputs[2] = {nullptr, nullptr};
    const float* controls[kControlPortCount] = {};
    float applied[kControlPortCount] = {};  // normalised values the engine has
    const float* enabled = nullptr;
    common::Bypass bypass;
    float dry[1024];  // the modulator, kept for the bypass when the host runs in place
};

// The enabled port as the bypass reads it: bypassed below one half.
bool bypassedBy(const float* enabled) { return enabled && !(*enabled >= 0.5f); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const*) {
    // A rate the filters cannot be designed at gives no instance, rather
    // than one that is silent.
    const float designRate = dsp::F(rate);
    if (!std::isfinite(designRate) || designRate <= 0.0f) return nullptr;
    auto* self = new (std::nothrow) Instance;
    if (!self) return nullptr;
    self->rate = designRate;
    for (int k = 0; k < kControlPortCount; ++k)
        self->applied[k] = engine::parameterInfo(k).defaultValue;
    return self;
}

// A fresh engine, as after construction: silent filters, the values the
// control ports last gave.
void activate(LV2_Handle handle) {
    auto* self = static_cast<Instance*>(handle);
    SpectralRingModulator& engine = self->engine.emplace();
    engine.setDesignRate(self->rate);
    for (int k = 0; k < kControlPortCount; ++k) engine.setParameter(k, self->applied[k]);
    self->bypass.setRate(self->rate);
    self->bypass.request(bypassedBy(self->enabled));
    self->bypass.settle();
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    auto* self = static_cast<Instance*>(handle);
    if (port < 2)
        self->inputs[port] = static_cast<const float*>(data);
    else if (port < kAudioPortCount)
        self->outputs[port - 2] = static_cast<float*>(data);
    else if (port < static_cast<std::uint32_t>(kEnabledPort))
        self->controls[port - kFirstControlPort] = static_cast<const float*>(data);
    else if (port == static_cast<std::uint32_t>(kEnabledPort))
        self->enabled = static_cast<const float*>(data);
}

void run(LV2_Handle handle, std::uint32_t frames) {
    auto* self = static_cast<Instance*>(handle);
    if (!self->engine) activate(handle);  // a host that never activates
    SpectralRingModulator& engine = *self->engine;
    for (int k = 0; k < kControlPortCount; ++k) {
        if (!self->controls[k]) continue;
        const float v = engine::toNormalised(k, *self->controls[k]);
        if (v != self->applied[k]) {
            self->applied[k] = v;
            engine.setParameter(k, v);
        }
    }
    if (!self->inputs[0] || !self->inputs[1] || !self->outputs[0] || !self->outputs[1]) return;
    self->bypass.request(bypassedBy(self->enabled));
    const bool mixing = self->bypass.mixing();
    // Blocks the engine's frame count cannot hold go in pieces, and so do
    // blocks whose modulator the bypass keeps.
    const std::uint32_t maxChunk = mixing ? std::uint32_t{sizeof self->dry / sizeof(float)} : 1u << 30;
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = frames - done < maxChunk ? frames - done : maxChunk;
        const float* in[2] = {self->inputs[0] + done, self->inputs[1] + done};
        float* out[2] = {self->outputs[0] + done, self->outputs[1] + done};
        if (mixing) std::memcpy(self->dry, in[0], n * sizeof(float));
        engine.process(in, out, static_cast<int>(n), false);
        if (mixing) {
            const float* dry[1] = {self->dry};
            self->bypass.mix(out, 2, dry, 1, static_cast<int>(n));
        }
        done += n;
    }
}

void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

const LV2_Descriptor kDescriptor = {
    kPluginUri, instantiate, connectPort, activate, run, nullptr, cleanup, nullptr,
};

}  // namespace
}  // namespace halvorine::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &halvorine::lv2::kDescriptor : nullptr;
}
