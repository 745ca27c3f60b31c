// A stand-in CLAP plug-in for the host's tests: a main stereo input, a
// stereo sidechain, a stereo output and a note input, with no parameters.
// Output left is the main input's left channel, output right the
// sidechain's left channel; every note event it gets goes to a log.
//
// Environment:
//   HALVORINE_STUB_LOG=path         one line per event, at its frame of the render:
//                                   "on|off FRAME CHANNEL KEY VELOCITY" (CLAP notes),
//                                   "midi FRAME B0 B1 B2" (MIDI, in hex)
//   HALVORINE_STUB_DIALECTS=which   both (default; prefers CLAP), clap, midi,
//                                   or none (no note-ports extension)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "clap_abi.h"

namespace {

namespace clap = halvorine::clap;

struct Stub {
    clap::Plugin plugin{};
    std::FILE* log = nullptr;
};

Stub& self(const clap::Plugin* p) { return *static_cast<Stub*>(p->plugin_data); }

std::string dialects() {
    const char* v = std::getenv("HALVORINE_STUB_DIALECTS");
    return v ? v : "both";
}

const clap::PluginAudioPorts kAudioPorts{
    [](const clap::Plugin*, bool input) -> std::uint32_t { return input ? 2 : 1; },
    [](const clap::Plugin*, std::uint32_t index, bool input, clap::AudioPortInfo* info) {
        if (index >= (input ? 2u : 1u)) return false;
        *info = clap::AudioPortInfo{};
        info->id = index;
        std::strcpy(info->name, index == 0 ? "Main" : "Side");
        info->flags = index == 0 ? std::uint32_t{clap::kAudioPortIsMain} : 0u;
        info->channel_count = 2;
        info->port_type = clap::kPortStereo;
        info->in_place_pair = clap::kInvalidId;
        return true;
    }};

const clap::PluginNotePorts kNotePorts{
    [](const clap::Plugin*, bool input) -> std::uint32_t { return input ? 1 : 0; },
    [](const clap::Plugin*, std::uint32_t index, bool input, clap::NotePortInfo* info) {
        if (!input || index != 0) return false;
        const std::string d = dialects();
        *info = clap::NotePortInfo{};
        info->supported_dialects = d == "clap"   ? clap::kNoteDialectClap
                                   : d == "midi" ? clap::kNoteDialectMidi
                                                 : clap::kNoteDialectClap | clap::kNoteDialectMidi;
        info->preferred_dialect = d == "midi" ? clap::kNoteDialectMidi : clap::kNoteDialectClap;
        std::strcpy(info->name, "Notes");
        return true;
    }};

clap::ProcessStatus process(const clap::Plugin* p, const clap::Process* pr) {
    Stub& s = self(p);
    const std::uint32_t n = pr->in_events->size(pr->in_events);
    for (std::uint32_t i = 0; i < n && s.log; ++i) {
        const clap::EventHeader* h = pr->in_events->get(pr->in_events, i);
        const long long frame = pr->steady_time + h->time;
        if (h->type == clap::kEventNoteOn || h->type == clap::kEventNoteOff) {
            const auto* e = reinterpret_cast<const clap::EventNote*>(h);
            std::fprintf(s.log, "%s %lld %d %d %.6g\n", h->type == clap::kEventNoteOn ? "on" : "off", frame,
                         e->channel, e->key, e->velocity);
        } else if (h->type == clap::kEventMidi) {
            const auto* e = reinterpret_cast<const clap::EventMidi*>(h);
            std::fprintf(s.log, "midi %lld %02X %02X %02X\n", frame, e->data[0], e->data[1], e->data[2]);
        }
    }
    for (std::uint32_t i = 0; i < pr->frames_count; ++i) {
        pr->audio_outputs[0].data32[0][i] = pr->audio_inputs[0].data32[0][i];
        pr->audio_outputs[0].data32[1][i] = pr->audio_inputs[1].data32[0][i];
    }
    return clap::kProcessContinue;
}

const clap::PluginDescriptor kDescriptor{clap::kVersion, "halvorine.test-stub", "Stub", "Halvorine tests",
                                         "", "", "", "1", "", nullptr};

const clap::Plugin* create(const clap::PluginFactory*, const clap::Host*, const char*) {
    auto* s = new Stub;
    if (const char* path = std::getenv("HALVORINE_STUB_LOG")) s->log = std::fopen(path, "a");
    s->plugin = clap::Plugin{
        &kDescriptor,
        s,
        [](const clap::Plugin*) { return true; },
        [](const clap::Plugin* p) {
            if (self(p).log) std::fclose(self(p).log);
            delete &self(p);
        },
        [](const clap::Plugin*, double, std::uint32_t, std::uint32_t) { return true; },
        [](const clap::Plugin*) {},
        [](const clap::Plugin*) { return true; },
        [](const clap::Plugin*) {},
        [](const clap::Plugin*) {},
        process,
        [](const clap::Plugin*, const char* id) -> const void* {
            if (std::strcmp(id, clap::kExtAudioPorts) == 0) return &kAudioPorts;
            if (std::strcmp(id, clap::kExtNotePorts) == 0 && dialects() != "none") return &kNotePorts;
            return nullptr;
        },
        [](const clap::Plugin*) {}};
    return &s->plugin;
}

const clap::PluginFactory kFactory{[](const clap::PluginFactory*) -> std::uint32_t { return 1; },
                                   [](const clap::PluginFactory*, std::uint32_t) { return &kDescriptor; },
                                   create};

}  // namespace

extern "C" __attribute__((visibility("default"))) const clap::PluginEntry clap_entry{
    clap::kVersion, [](const char*) { return true; }, [] {},
    [](const char* id) -> const void* { return std::strcmp(id, clap::kPluginFactoryId) == 0 ? &kFactory : nullptr; }};
