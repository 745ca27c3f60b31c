// Hosting a CLAP plug-in for a render: the entry, the factory's first
// plug-in, its audio and note ports, parameters set before activation
// through a flush, presets found through the preset-discovery factory and
// loaded through preset-load, and notes sent at their frames in the dialect
// the note port prefers.
#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "clap_abi.h"
#include "error.h"
#include "factory_presets.h"
#include "halvorine_version.h"
#include "hosted_plugin.h"

namespace halvorine::host {

namespace {

namespace clap = halvorine::clap;

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

std::string bounded(const char* text, std::size_t capacity) {
    return text ? std::string(text, strnlen(text, capacity)) : std::string();
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

const clap::NotePortInfo kNoNotePort{};

// Space for any event the host sends.
union EventSlot {
    clap::EventHeader header;
    clap::EventNote note;
    clap::EventMidi midi;
    clap::EventParamValue param;
};

// The events of one call, handed to the plug-in as its input list.
struct EventList {
    std::vector<EventSlot> slots;
    clap::InputEvents list{this, [](const clap::InputEvents* l) {
                               return static_cast<std::uint32_t>(static_cast<EventList*>(l->ctx)->slots.size());
                           },
                           [](const clap::InputEvents* l, std::uint32_t i) -> const clap::EventHeader* {
                               const auto& all = static_cast<EventList*>(l->ctx)->slots;
                               return i < all.size() ? &all[i].header : nullptr;
                           }};
};

// The plug-in's own events (parameter changes from its editor) have no
// one to go to here.
const clap::OutputEvents kDiscard{nullptr, [](const clap::OutputEvents*, const clap::EventHeader*) {
                                      return true;
                                  }};

const clap::HostNotePorts kHostNotePorts{
    [](const clap::Host*) { return clap::kNoteDialectClap | clap::kNoteDialectMidi; },
    [](const clap::Host*, std::uint32_t) {}};

struct Preset {
    std::string name, key;
    std::uint32_t kind = clap::kPresetLocationPlugin;
};

// What the preset indexer and its receiver collect.
struct Discovery {
    std::vector<std::uint32_t> locations;  // of kinds inside the plug-in only
    std::vector<Preset> presets;
    std::uint32_t kind = 0;
};

class ClapPlugin final : public HostedPlugin {
public:
    ClapPlugin(const std::string& path, int sampleRate, int blockSize)
        : path_(path), rate_(sampleRate), block_(static_cast<std::uint32_t>(blockSize)) {
        try {
            load();
            findPorts();
            findParameters();
        } catch (...) {
            unload();
            throw;
        }
    }
    ~ClapPlugin() override { unload(); }

    std::vector<std::string> parameterNames() override {
        std::vector<std::string> names;
        for (const Param& p : params_) names.push_back(p.name);
        return names;
    }

    void setNormalised(int index, float v) override {
        const Param& p = params_[static_cast<std::size_t>(index)];
        const double span = p.max - p.min;
        double value = p.min + static_cast<double>(v) * span;
        if (p.stepped) value = std::min(p.min + std::floor(static_cast<double>(v) * span), p.max);
        flushValue(p, value);
    }

    bool setText(int index, const std::string& text) override {
        const Param& p = params_[static_cast<std::size_t>(index)];
        double value = 0.0;
        if (!ext_.params->text_to_value || !ext_.params->text_to_value(plugin_, p.id, text.c_str(), &value) ||
            !std::isfinite(value)) {
            return false;
        }
        flushValue(p, std::clamp(value, p.min, p.max));
        return true;
    }

    int rangeEnd(int index) override {
        const Param& p = params_[static_cast<std::size_t>(index)];
        const double v = value(p);
        return v <= p.min ? -1 : v >= p.max ? 1 : 0;
    }

    std::string display(int index) override {
        const Param& p = params_[static_cast<std::size_t>(index)];
        return text(p, value(p));
    }

    std::pair<std::string, std::string> displayRange(int index) override {
        const Param& p = params_[static_cast<std::size_t>(index)];
        return {text(p, p.min), text(p, p.max)};
    }

    std::vector<std::string> programNames() override {
        discoverPresets();
        std::vector<std::string> names;
        for (const Preset& p : presets_) names.push_back(p.name);
        return names;
    }

    void setProgram(int index) override {
        discoverPresets();
        loadPreset(presets_[static_cast<std::size_t>(index)]);
    }

    void loadFactoryPreset(int preset) override {
        const std::string wanted = lower(factoryPresets()[preset].name);
        discoverPresets();
        for (const Preset& p : presets_) {
            if (lower(p.name) == wanted) return loadPreset(p);
        }
        fail("plug-in '" + path_ + "' offers no preset named '" + factoryPresets()[preset].name + "'");
    }

    void requireNoteInput() override {
        clap::NotePortInfo info = kNoNotePort;
        const auto* ports = ext_.notePorts;
        if (!ports || !ports->count || !ports->get || ports->count(plugin_, true) == 0 ||
            !ports->get(plugin_, 0, true, &info)) {
            fail("plug-in '" + path_ + "' has no note input, so it cannot play --notes or --midi");
        }
        const std::uint32_t supported = info.supported_dialects;
        const bool clapNotes = (supported & clap::kNoteDialectClap) != 0;
        const bool midi = (supported & clap::kNoteDialectMidi) != 0;
        if (!clapNotes && !midi) {
            fail("the note input of plug-in '" + path_ + "' takes neither CLAP notes nor MIDI 1.0 messages");
        }
        notePort_ = 0;
        clapDialect_ = clapNotes && (!midi || (info.preferred_dialect & clap::kNoteDialectClap) != 0);
        midiAccepted_ = midi;
    }

    std::int64_t messagesLeftOut() const override { return leftOut_; }

    void start() override {
        if (!plugin_->activate(plugin_, static_cast<double>(rate_), 1, block_)) {
            fail("plug-in '" + path_ + "' refused to start at " + std::to_string(rate_) + " Hz");
        }
        active_ = true;
        if (plugin_->start_processing && !plugin_->start_processing(plugin_)) {
            fail("plug-in '" + path_ + "' refused to start processing");
        }
        processing_ = true;
    }

    void process(float* modulator, float* carrier, float* left, float* right, int frames,
                 std::int64_t first, const NoteEvent* events, std::size_t eventCount) override {
        for (std::size_t port = 0; port < inputs_.size(); ++port) {
            float* source = port == mainIn_ ? modulator : port == sideIn_ ? carrier : silence_.data();
            std::fill(inPointers_[port].begin(), inPointers_[port].end(), source);
        }
        auto& main = outPointers_[mainOut_];
        main[0] = left;
        if (main.size() > 1) main[1] = right;
        for (std::size_t port = 0; port < inputs_.size(); ++port) inputs_[port].data32 = inPointers_[port].data();
        for (std::size_t port = 0; port < outputs_.size(); ++port) outputs_[port].data32 = outPointers_[port].data();

        blockEvents_.slots.clear();
        for (std::size_t i = 0; i < eventCount; ++i) addNote(events[i], static_cast<std::uint32_t>(events[i].frame - first));

        clap::Process p{};
        p.steady_time = first;
        p.frames_count = static_cast<std::uint32_t>(frames);
        p.audio_inputs = inputs_.data();
        p.audio_outputs = outputs_.data();
        p.audio_inputs_count = static_cast<std::uint32_t>(inputs_.size());
        p.audio_outputs_count = static_cast<std::uint32_t>(outputs_.size());
        p.in_events = &blockEvents_.list;
        p.out_events = &kDiscard;
        if (plugin_->process(plugin_, &p) == clap::kProcessError) {
            fail("plug-in '" + path_ + "' failed to process the block at frame " + std::to_string(first));
        }
        if (main.size() == 1) std::copy(left, left + frames, right);
    }

    void stop() override {
        if (processing_ && plugin_->stop_processing) plugin_->stop_processing(plugin_);
        processing_ = false;
        if (active_) plugin_->deactivate(plugin_);
        active_ = false;
    }

private:
    struct Param {
        clap::Id id;
        void* cookie;
        std::string name;
        double min, max;
        bool stepped;
    };
    struct Extensions {
        const clap::PluginAudioPorts* audioPorts = nullptr;
        const clap::PluginParams* params = nullptr;
        const clap::PluginNotePorts* notePorts = nullptr;
        const clap::PluginPresetLoad* presetLoad = nullptr;
    };

    template <class T>
    const T* extension(const char* id) const {
        return plugin_->get_extension ? static_cast<const T*>(plugin_->get_extension(plugin_, id)) : nullptr;
    }

    void load() {
        std::error_code ec;
        if (!std::filesystem::exists(path_, ec)) {
            fail("no plug-in at '" + path_ + "' (build the halvorine_clap target, or pass --plugin PATH)");
        }
        library_ = dlopen(path_.find('/') == std::string::npos ? ("./" + path_).c_str() : path_.c_str(),
                          RTLD_NOW | RTLD_LOCAL);
        if (!library_) {
            const char* why = dlerror();
            fail("cannot load plug-in '" + path_ + "': " + (why ? why : "unknown reason"));
        }
        entry_ = static_cast<const clap::PluginEntry*>(dlsym(library_, "clap_entry"));
        if (!entry_) fail("'" + path_ + "' is not a CLAP plug-in: it exports no 'clap_entry'");
        if (entry_->clap_version.major < 1 || !entry_->init || !entry_->get_factory) {
            entry_ = nullptr;
            fail("'" + path_ + "' has an incomplete or pre-release CLAP entry");
        }
        if (!entry_->init(path_.c_str())) {
            entry_ = nullptr;
            fail("plug-in '" + path_ + "' refused to start: its entry's init failed");
        }
        const auto* factory = static_cast<const clap::PluginFactory*>(entry_->get_factory(clap::kPluginFactoryId));
        const clap::PluginDescriptor* descriptor =
            factory && factory->get_plugin_count && factory->get_plugin_count(factory) > 0
                ? factory->get_plugin_descriptor(factory, 0)
                : nullptr;
        if (!descriptor || !descriptor->id) fail("'" + path_ + "' holds no CLAP plug-in");
        host_ = clap::Host{clap::kVersion, this, "halvorine-host", "Halvorine", "", kProductVersion,
                           [](const clap::Host*, const char* id) -> const void* {
                               return id && std::strcmp(id, clap::kExtNotePorts) == 0 ? &kHostNotePorts : nullptr;
                           },
                           [](const clap::Host*) {}, [](const clap::Host*) {}, [](const clap::Host*) {}};
        plugin_ = factory->create_plugin(factory, &host_, descriptor->id);
        if (!plugin_) fail("plug-in '" + path_ + "' refused to start: its factory made no plug-in");
        if (!plugin_->init || !plugin_->destroy || !plugin_->activate || !plugin_->deactivate ||
            !plugin_->process) {
            plugin_ = nullptr;  // not a table we may call into
            fail("plug-in '" + path_ + "' is incomplete: it lacks a function every CLAP plug-in has");
        }
        if (!plugin_->init(plugin_)) {
            plugin_->destroy(plugin_);
            plugin_ = nullptr;
            fail("plug-in '" + path_ + "' refused to start: its init failed");
        }
        ext_.audioPorts = extension<clap::PluginAudioPorts>(clap::kExtAudioPorts);
        ext_.params = extension<clap::PluginParams>(clap::kExtParams);
        ext_.notePorts = extension<clap::PluginNotePorts>(clap::kExtNotePorts);
        ext_.presetLoad = extension<clap::PluginPresetLoad>(clap::kExtPresetLoad);
        if (!ext_.presetLoad) ext_.presetLoad = extension<clap::PluginPresetLoad>(clap::kExtPresetLoadDraft);
    }

    void unload() noexcept {
        if (plugin_) {
            stop();
            plugin_->destroy(plugin_);
            plugin_ = nullptr;
        }
        if (entry_ && entry_->deinit) entry_->deinit();
        entry_ = nullptr;
        if (library_) dlclose(library_);
        library_ = nullptr;
    }

    // The main input takes the modulator on every channel, the first other
    // input the carrier; the main output's first two channels are the
    // render's. Further ports get silence or go unheard.
    void findPorts() {
        const auto* ports = ext_.audioPorts;
        if (!ports || !ports->count || !ports->get) fail("plug-in '" + path_ + "' has no audio ports");
        for (const bool input : {true, false}) {
            const std::uint32_t count = ports->count(plugin_, input);
            std::uint32_t main = kNone, other = kNone;
            for (std::uint32_t i = 0; i < count; ++i) {
                clap::AudioPortInfo info{};
                if (!ports->get(plugin_, i, input, &info)) fail("plug-in '" + path_ + "' describes no audio port " + std::to_string(i));
                const std::size_t channels = info.channel_count;
                if (channels > 64) {
                    fail("plug-in '" + path_ + "' has an audio port of " + std::to_string(channels) + " channels");
                }
                auto& pointers = input ? inPointers_ : outPointers_;
                pointers.emplace_back(channels, nullptr);
                (input ? inputs_ : outputs_).push_back(clap::AudioBuffer{nullptr, nullptr, info.channel_count, 0, 0});
                if ((info.flags & clap::kAudioPortIsMain) && main == kNone && channels > 0) main = i;
                else if (other == kNone && channels > 0) other = i;
                if (!input) {
                    for (auto& p : pointers.back()) {
                        spare_.emplace_back(block_, 0.0f);
                        p = spare_.back().data();
                    }
                }
            }
            if (main == kNone) std::swap(main, other);
            if (input) {
                mainIn_ = main;
                sideIn_ = other;
            } else {
                if (main == kNone) fail("plug-in '" + path_ + "' has no audio output");
                mainOut_ = main;
            }
        }
        if (mainIn_ == kNone) fail("plug-in '" + path_ + "' has no audio input for the modulator");
        silence_.assign(block_, 0.0f);
    }

    void findParameters() {
        const auto* p = ext_.params;
        if (!p) return;
        if (!p->count || !p->get_info || !p->get_value || !p->value_to_text || !p->flush) {
            fail("plug-in '" + path_ + "' has an incomplete parameter interface");
        }
        for (std::uint32_t i = 0, n = p->count(plugin_); i < n; ++i) {
            clap::ParamInfo info{};
            if (!p->get_info(plugin_, i, &info)) fail("plug-in '" + path_ + "' describes no parameter " + std::to_string(i));
            params_.push_back({info.id, info.cookie, bounded(info.name, sizeof info.name), info.min_value,
                               info.max_value, (info.flags & clap::kParamIsStepped) != 0});
        }
    }

    double value(const Param& p) const {
        double v = 0.0;
        return ext_.params->get_value(plugin_, p.id, &v) ? v : 0.0;
    }

    std::string text(const Param& p, double value) const {
        char buf[clap::kNameSize] = {};
        if (!ext_.params->value_to_text(plugin_, p.id, value, buf, sizeof buf)) return {};
        return bounded(buf, sizeof buf);
    }

    // Before activation a flush sets the value at once.
    void flushValue(const Param& p, double value) {
        EventList one;
        EventSlot slot{};
        slot.param = clap::EventParamValue{{sizeof(clap::EventParamValue), 0, clap::kCoreEventSpace,
                                            clap::kEventParamValue, 0},
                                           p.id, p.cookie, -1, -1, -1, -1, value};
        one.slots.push_back(slot);
        ext_.params->flush(plugin_, &one.list, &kDiscard);
    }

    void discoverPresets() {
        if (discovered_) return;
        discovered_ = true;
        const void* offered = entry_->get_factory(clap::kPresetDiscoveryFactoryId);
        if (!offered) offered = entry_->get_factory(clap::kPresetDiscoveryFactoryIdDraft);
        const auto* factory = static_cast<const clap::PresetDiscoveryFactory*>(offered);
        if (!factory || !factory->count || !factory->get_descriptor || !factory->create) return;
        Discovery d;
        clap::PresetIndexer indexer{clap::kVersion, "halvorine-host", "Halvorine", "", kProductVersion, &d,
                                    [](const clap::PresetIndexer*, const clap::PresetFiletype*) { return true; },
                                    [](const clap::PresetIndexer* i, const clap::PresetLocation* l) {
                                        auto& found = *static_cast<Discovery*>(i->indexer_data);
                                        if (l && l->kind == clap::kPresetLocationPlugin) {
                                            found.locations.push_back(l->kind);
                                        }
                                        return true;
                                    },
                                    [](const clap::PresetIndexer*, const clap::PresetSoundpack*) { return true; },
                                    [](const clap::PresetIndexer*, const char*) -> const void* { return nullptr; }};
        clap::PresetMetadataReceiver receiver{};
        receiver.receiver_data = &d;
        receiver.on_error = [](const clap::PresetMetadataReceiver*, std::int32_t, const char*) {};
        receiver.begin_preset = [](const clap::PresetMetadataReceiver* r, const char* name, const char* key) {
            auto& found = *static_cast<Discovery*>(r->receiver_data);
            if (name && key) found.presets.push_back({name, key, found.kind});
            return true;
        };
        receiver.add_plugin_id = [](const clap::PresetMetadataReceiver*, const clap::UniversalPluginId*) {};
        receiver.set_soundpack_id = [](const clap::PresetMetadataReceiver*, const char*) {};
        receiver.set_flags = [](const clap::PresetMetadataReceiver*, std::uint32_t) {};
        receiver.add_creator = [](const clap::PresetMetadataReceiver*, const char*) {};
        receiver.set_description = [](const clap::PresetMetadataReceiver*, const char*) {};
        receiver.set_timestamps = [](const clap::PresetMetadataReceiver*, std::uint64_t, std::uint64_t) {};
        receiver.add_feature = [](const clap::PresetMetadataReceiver*, const char*) {};
        receiver.add_extra_info = [](const clap::PresetMetadataReceiver*, const char*, const char*) {};
        for (std::uint32_t i = 0, n = factory->count(factory); i < n; ++i) {
            const clap::PresetProviderDescriptor* desc = factory->get_descriptor(factory, i);
            const clap::PresetProvider* provider = desc && desc->id ? factory->create(factory, &indexer, desc->id) : nullptr;
            if (!provider) continue;
            d.locations.clear();
            if (provider->init && provider->init(provider) && provider->get_metadata) {
                for (const std::uint32_t kind : d.locations) {
                    d.kind = kind;
                    provider->get_metadata(provider, kind, nullptr, &receiver);
                }
            }
            provider->destroy(provider);
        }
        presets_ = std::move(d.presets);
    }

    void loadPreset(const Preset& p) {
        const auto* load = ext_.presetLoad;
        if (!load || !load->from_location) fail("plug-in '" + path_ + "' cannot load presets");
        if (!load->from_location(plugin_, p.kind, nullptr, p.key.c_str())) {
            fail("plug-in '" + path_ + "' did not load its preset '" + p.name + "'");
        }
    }

    // A channel message, in the dialect chosen: CLAP notes for note-ons and
    // note-offs where the port prefers them, MIDI for the rest where it
    // takes MIDI; what it cannot take is counted.
    void addNote(const NoteEvent& e, std::uint32_t offset) {
        EventSlot slot{};
        const unsigned kind = e.data[0] & 0xF0u;
        const bool on = kind == 0x90 && e.data[2] > 0, off = kind == 0x80 || (kind == 0x90 && e.data[2] == 0);
        if (clapDialect_ && (on || off)) {
            slot.note = clap::EventNote{{sizeof(clap::EventNote), offset, clap::kCoreEventSpace,
                                         on ? clap::kEventNoteOn : clap::kEventNoteOff, 0},
                                        -1, static_cast<std::int16_t>(notePort_),
                                        static_cast<std::int16_t>(e.data[0] & 0x0F), e.data[1],
                                        kind == 0x80 || on ? e.data[2] / 127.0 : 0.0};
        } else if (midiAccepted_) {
            slot.midi = clap::EventMidi{{sizeof(clap::EventMidi), offset, clap::kCoreEventSpace, clap::kEventMidi, 0},
                                        static_cast<std::uint16_t>(notePort_), {e.data[0], e.data[1], e.data[2]}};
        } else {
            ++leftOut_;
            return;
        }
        blockEvents_.slots.push_back(slot);
    }

    std::string path_;
    int rate_;
    std::uint32_t block_;
    void* library_ = nullptr;
    const clap::PluginEntry* entry_ = nullptr;
    clap::Host host_{};
    const clap::Plugin* plugin_ = nullptr;
    Extensions ext_;
    std::vector<Param> params_;
    bool discovered_ = false;
    std::vector<Preset> presets_;
    bool active_ = false, processing_ = false;

    std::vector<clap::AudioBuffer> inputs_, outputs_;
    std::vector<std::vector<float*>> inPointers_, outPointers_;
    std::vector<std::vector<float>> spare_;
    std::vector<float> silence_;
    std::uint32_t mainIn_ = kNone, sideIn_ = kNone, mainOut_ = kNone;

    std::uint32_t notePort_ = 0;
    bool clapDialect_ = false, midiAccepted_ = false;
    std::int64_t leftOut_ = 0;
    EventList blockEvents_;
};

}  // namespace

bool exportsClapEntry(const std::string& path) {
    if (path.empty()) return false;
    void* library = dlopen(path.find('/') == std::string::npos ? ("./" + path).c_str() : path.c_str(),
                           RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    const bool clap = dlsym(library, "clap_entry") != nullptr;
    dlclose(library);
    return clap;
}

std::unique_ptr<HostedPlugin> loadClapPlugin(const std::string& path, int sampleRate, int blockSize) {
    return std::make_unique<ClapPlugin>(path, sampleRate, blockSize);
}

}  // namespace halvorine::host
