// The LV2 plug-in: the spectral ring modulator behind LV2's port interface.
// Control ports carry values in units; at the start of every run each one
// that changed since the last run reaches the engine as a parameter change,
// as a VST 2 host's setParameter would.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>

#include "bypass.h"
#include "note_events.h"
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
    const float* controls[kAllControlCount] = {};
    float applied[kAllControlCount] = {};  // normalised values the engine has
    const LV2_Atom_Sequence* notesIn = nullptr;
    LV2_URID midiEvent = 0;  // 0: the host maps no URIs, so no notes
    common::NoteEvents notes;
    const float* enabled = nullptr;
    common::Bypass bypass;
    float dry[1024];  // the modulator, kept for the bypass when the host runs in place
};

// The enabled port as the bypass reads it: bypassed below one half.
bool bypassedBy(const float* enabled) { return enabled && !(*enabled >= 0.5f); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    // A rate the filters cannot be designed at gives no instance, rather
    // than one that is silent.
    const float designRate = dsp::F(rate);
    if (!std::isfinite(designRate) || designRate <= 0.0f) return nullptr;
    auto* self = new (std::nothrow) Instance;
    if (!self) return nullptr;
    dsp::CarrierSynth::prepare();  // a host that never activates makes the engine in run()
    self->rate = designRate;
    for (int k = 0; k < kAllControlCount; ++k)
        self->applied[k] = engine::parameterInfo(controlSlot(k)).defaultValue;
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0 && features[i]->data) {
            const auto* map = static_cast<const LV2_URID_Map*>(features[i]->data);
            self->midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
        }
    return self;
}

// A fresh engine, as after construction: silent filters, the values the
// control ports last gave.
void activate(LV2_Handle handle) {
    auto* self = static_cast<Instance*>(handle);
    SpectralRingModulator& engine = self->engine.emplace();
    engine.setDesignRate(self->rate);
    for (int k = 0; k < kAllControlCount; ++k) engine.setParameter(controlSlot(k), self->applied[k]);
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
    else if (port < static_cast<std::uint32_t>(kNotesPort))
        self->controls[kControlPortCount + port - kFirstSynthPort] = static_cast<const float*>(data);
    else if (port == static_cast<std::uint32_t>(kNotesPort))
        self->notesIn = static_cast<const LV2_Atom_Sequence*>(data);
}

void run(LV2_Handle handle, std::uint32_t frames) {
    auto* self = static_cast<Instance*>(handle);
    if (!self->engine) activate(handle);  // a host that never activates
    SpectralRingModulator& engine = *self->engine;
    for (int k = 0; k < kAllControlCount; ++k) {
        if (!self->controls[k]) continue;
        const float v = engine::toNormalised(controlSlot(k), *self->controls[k]);
        if (v != self->applied[k]) {
            self->applied[k] = v;
            engine.setParameter(controlSlot(k), v);
        }
    }
    // The block's MIDI, each message at its frame.
    common::NoteEvents& notes = self->notes;
    notes.clear(static_cast<int>(frames));
    if (self->notesIn && self->midiEvent) {
        LV2_ATOM_SEQUENCE_FOREACH(self->notesIn, ev) {
            if (ev->body.type != self->midiEvent) continue;
            const std::int64_t at = ev->time.frames;
            notes.addMidi(at < 0 ? 0 : at > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(at),
                          static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&ev->body)), ev->body.size);
        }
        notes.sort();
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
        int count = 0;
        const dsp::NoteEvent* events = notes.slice(static_cast<int>(done), static_cast<int>(n), count);
        engine.process(in, out, static_cast<int>(n), false, events, count);
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
