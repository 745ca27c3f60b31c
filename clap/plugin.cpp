// One Halvorine instance as a CLAP plug-in: the effect core with its bank,
// the buses, the parameters in their units, the state bytes, the presets
// and the editor. Every call does only what its thread may: the audio
// thread (process, flush while active, reset) never allocates, locks or
// calls the system; the rest runs on the main thread. Builds with
// assertions check both with the host's thread-check where it offers one.
#include "plugin.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "bus_rules.h"
#include "editor_queue.h"
#include "effect_core.h"
#include "event_split.h"
#include "gui.h"
#include "parameter_table.h"
#include "presets.h"
#include "product.h"
#include "state_bytes.h"

#ifndef HALVORINE_VERSION
#error "HALVORINE_VERSION must give the project's version"
#endif

namespace halvorine::clap {
namespace {

constexpr int kParams = engine::kNamedParameters;
constexpr std::uint32_t kInputMain = 0, kInputSide = 1;

// Where each parameter sits in a host's tree of modules.
constexpr const char* kModules[kParams] = {"Modulator", "Modulator", "Modulator",
                                           "Carrier",   "Carrier",   "Carrier",
                                           "Ring",      "Output",    "Output"};

const char* const kFeatures[] = {"audio-effect", "filter", "stereo", nullptr};

const PluginDescriptor kDescriptor{
    kVersion, kPluginId, kProductName, kVendorName, "", "", "", HALVORINE_VERSION,
    "A spectral ring modulator: the carrier's bands multiply the modulator's", kFeatures};

void copyText(char* out, std::size_t capacity, const char* text) {
    if (capacity == 0) return;
    std::size_t n = std::strlen(text);
    if (n >= capacity) n = capacity - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

class Instance {
public:
    explicit Instance(const Host* host);

    Plugin clap{};

    static Instance& of(const Plugin* p) { return *static_cast<Instance*>(p->plugin_data); }

    bool init();
    bool activate(double rate);
    void deactivate() { onMain(); active_ = false; }
    bool startProcessing() { onAudio(); processing_.store(true, std::memory_order_release); return true; }
    void stopProcessing() { onAudio(); processing_.store(false, std::memory_order_release); }
    void reset() { onAudio(); core_.reset(); }
    ProcessStatus process(const Process& p);
    const void* extension(const char* id) const;

    // audio-ports
    static std::uint32_t portCount(bool input) { return input ? 2 : 1; }
    static bool portInfo(std::uint32_t index, bool input, AudioPortInfo& info);

    // params
    bool paramInfo(std::uint32_t index, ParamInfo& info) const;
    bool paramValue(Id id, double& value) const;
    static bool valueToText(Id id, double value, char* out, std::uint32_t capacity);
    static bool textToValue(Id id, const char* text, double& value);
    void flush(const InputEvents* in, const OutputEvents* out);

    // state
    bool save(const OStream& stream);
    bool load(const IStream& stream);

    // presets
    bool loadPreset(std::uint32_t kind, const char* location, const char* key);

    // gui
    bool guiSupported(const char* api, bool floating) const {
        onMain();
        return Gui::supported(host_, api, floating);
    }
    bool guiCreate(const char* api, bool floating);
    void guiDestroy() { onMain(); gui_.reset(); }
    Gui* gui() { onMain(); return gui_.get(); }

    std::uint32_t tail() const { return core_.tailFrames(); }

private:
    void onMain() const {
        assert(!threadCheck_ || threadCheck_->is_main_thread(host_));
    }
    void onAudio() const {
        assert(!threadCheck_ || threadCheck_->is_audio_thread(host_));
    }
    void apply(const EventHeader* e);
    void collectChanges(const InputEvents* in);
    void setParameter(const common::Change& c) {
        core_.setParameter(c.id, engine::toNormalised(c.id, c.value));
    }
    void sendEditorEvents(const OutputEvents* out);
    void valuesChanged(bool dirty);

    const Host* host_;
    const HostThreadCheck* threadCheck_ = nullptr;
    const HostParams* hostParams_ = nullptr;
    const HostState* hostState_ = nullptr;
    const HostPresetLoad* hostPresetLoad_ = nullptr;
    EffectCore core_;
    common::BusInputs buses_;
    common::ChangeList changes_;
    EditorQueue editorEvents_;
    std::atomic<bool> processing_{false};
    bool active_ = false;
    std::unique_ptr<Gui> gui_;
};

Instance::Instance(const Host* host) : host_(host) {}

template <class T>
const T* hostExtension(const Host* host, const char* id) {
    return host->get_extension ? static_cast<const T*>(host->get_extension(host, id)) : nullptr;
}

bool Instance::init() {
    threadCheck_ = hostExtension<HostThreadCheck>(host_, kExtThreadCheck);
    if (threadCheck_ && (!threadCheck_->is_main_thread || !threadCheck_->is_audio_thread))
        threadCheck_ = nullptr;
    onMain();
    hostParams_ = hostExtension<HostParams>(host_, kExtParams);
    hostState_ = hostExtension<HostState>(host_, kExtState);
    hostPresetLoad_ = hostExtension<HostPresetLoad>(host_, kExtPresetLoad);
    if (!hostPresetLoad_) hostPresetLoad_ = hostExtension<HostPresetLoad>(host_, kExtPresetLoadDraft);
    return true;
}

bool Instance::activate(double rate) {
    onMain();
    if (!(rate > 0.0) || !std::isfinite(rate)) return false;
    core_.setSampleRate(static_cast<float>(rate));
    core_.reset();
    active_ = true;
    return true;
}

// --- processing -------------------------------------------------------------

void Instance::apply(const EventHeader* e) {
    if (!e || e->space_id != kCoreEventSpace || e->type != kEventParamValue ||
        e->size < sizeof(EventParamValue))
        return;
    const auto* v = reinterpret_cast<const EventParamValue*>(e);
    if (v->param_id >= static_cast<Id>(kParams)) return;
    changes_.add(static_cast<int>(e->time), static_cast<int>(v->param_id), v->value);
}

// The parameter changes among the events, in time order, into changes_.
void Instance::collectChanges(const InputEvents* in) {
    changes_.clear();
    if (in && in->size && in->get) {
        const std::uint32_t n = in->size(in);
        for (std::uint32_t i = 0; i < n; ++i) apply(in->get(in, i));
    }
    changes_.sort();
}

void Instance::sendEditorEvents(const OutputEvents* out) {
    editorEvents_.drain([&](const EditorEvent& e) {
        if (!out || !out->try_push) return;
        if (e.kind == EditorEvent::Value) {
            EventParamValue v{};
            v.header = {sizeof v, 0, kCoreEventSpace, kEventParamValue, 0};
            v.param_id = e.id;
            v.note_id = -1;
            v.port_index = v.channel = v.key = -1;
            v.value = engine::toUnits(e.id, e.value);
            out->try_push(out, &v.header);
        } else {
            EventParamGesture g{};
            g.header = {sizeof g, 0, kCoreEventSpace,
                        e.kind == EditorEvent::Begin ? kEventParamGestureBegin
                                                     : kEventParamGestureEnd,
                        0};
            g.param_id = e.id;
            out->try_push(out, &g.header);
        }
    });
}

ProcessStatus Instance::process(const Process& p) {
    onAudio();
    if (!p.audio_outputs || p.audio_outputs_count < 1) return kProcessError;
    const AudioBuffer& out = p.audio_outputs[0];
    if (!out.data32 || out.channel_count == 0) return kProcessError;
    const AudioBuffer* main =
        p.audio_inputs_count > kInputMain ? &p.audio_inputs[kInputMain] : nullptr;
    const AudioBuffer* side =
        p.audio_inputs_count > kInputSide ? &p.audio_inputs[kInputSide] : nullptr;
    const int mainChannels = main && main->data32 ? static_cast<int>(std::min(main->channel_count, 2u)) : 0;
    const int sideChannels = side && side->data32 ? static_cast<int>(std::min(side->channel_count, 2u)) : 0;
    const int outChannels = static_cast<int>(std::min(out.channel_count, 2u));
    const int frames = static_cast<int>(std::min<std::uint32_t>(p.frames_count, 0x7FFFFFFF));

    sendEditorEvents(p.out_events);
    collectChanges(p.in_events);
    common::renderSplit(
        changes_, frames, [&](const common::Change& c) { setParameter(c); },
        [&](int start, int count) {
            common::renderBuses(core_, buses_, mainChannels ? main->data32 : nullptr, mainChannels,
                                sideChannels ? side->data32 : nullptr, sideChannels, out.data32,
                                outChannels, start, count);
        });
    return kProcessContinue;
}

void Instance::flush(const InputEvents* in, const OutputEvents* out) {
    if (active_) onAudio();
    else onMain();
    sendEditorEvents(out);
    collectChanges(in);
    for (int i = 0; i < changes_.size(); ++i) setParameter(changes_[i]);
}

// --- ports and parameters ----------------------------------------------------

bool Instance::portInfo(std::uint32_t index, bool input, AudioPortInfo& info) {
    if (index >= portCount(input)) return false;
    info = AudioPortInfo{};
    info.id = index;
    info.channel_count = 2;
    info.port_type = kPortStereo;
    info.in_place_pair = kInvalidId;
    if (!input) {
        copyText(info.name, sizeof info.name, "Output");
        info.flags = kAudioPortIsMain;
        info.in_place_pair = kInputMain;
    } else if (index == kInputMain) {
        copyText(info.name, sizeof info.name, "Modulator");
        info.flags = kAudioPortIsMain;
        info.in_place_pair = 0;
    } else {
        copyText(info.name, sizeof info.name, "Carrier");
    }
    return true;
}

bool Instance::paramInfo(std::uint32_t index, ParamInfo& info) const {
    onMain();
    if (index >= static_cast<std::uint32_t>(kParams)) return false;
    const int slot = static_cast<int>(index);
    const engine::ParameterInfo& p = engine::parameterInfo(slot);
    info = ParamInfo{};
    info.id = index;
    info.flags = kParamIsAutomatable | (p.steps > 0 ? kParamIsStepped : 0u);
    copyText(info.name, sizeof info.name, p.name);
    copyText(info.module, sizeof info.module, kModules[slot]);
    info.min_value = p.minimum;
    info.max_value = p.maximum;
    info.default_value = p.defaultUnits;
    return true;
}

bool Instance::paramValue(Id id, double& value) const {
    onMain();
    if (id >= static_cast<Id>(kParams)) return false;
    value = engine::toUnits(static_cast<int>(id), core_.parameter(static_cast<int>(id)));
    return true;
}

bool Instance::valueToText(Id id, double value, char* out, std::uint32_t capacity) {
    if (id >= static_cast<Id>(kParams) || !out || capacity == 0) return false;
    const int slot = static_cast<int>(id);
    engine::writeValueText(slot, engine::toNormalised(slot, value), out, capacity);
    return true;
}

bool Instance::textToValue(Id id, const char* text, double& value) {
    if (id >= static_cast<Id>(kParams) || !text) return false;
    const int slot = static_cast<int>(id);
    float normalised = 0.0f;
    if (!engine::parseValueText(slot, text, normalised)) return false;
    value = engine::toUnits(slot, normalised);
    return true;
}

// --- state and presets ---------------------------------------------------------

bool Instance::save(const OStream& stream) {
    onMain();
    std::uint8_t bytes[common::kStateBytes];
    const std::size_t size = common::writeState(core_, bytes, sizeof bytes);
    if (size == 0 || !stream.write) return false;
    for (std::size_t done = 0; done < size;) {
        const std::int64_t n = stream.write(&stream, bytes + done, size - done);
        if (n <= 0 || static_cast<std::uint64_t>(n) > size - done) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool Instance::load(const IStream& stream) {
    onMain();
    if (!stream.read) return false;
    // One byte more than a state holds, so that a longer stream is refused.
    std::uint8_t bytes[common::kStateBytes + 1];
    std::size_t size = 0;
    while (size < sizeof bytes) {
        const std::int64_t n = stream.read(&stream, bytes + size, sizeof bytes - size);
        if (n == 0) break;
        if (n < 0 || static_cast<std::uint64_t>(n) > sizeof bytes - size) return false;
        size += static_cast<std::size_t>(n);
    }
    if (!common::readState(core_, bytes, size)) return false;
    valuesChanged(false);
    return true;
}

bool Instance::loadPreset(std::uint32_t kind, const char* location, const char* key) {
    onMain();
    const int preset = kind == kPresetLocationPlugin && !location ? presetOfKey(key) : -1;
    if (preset < 0) {
        if (hostPresetLoad_ && hostPresetLoad_->on_error)
            hostPresetLoad_->on_error(host_, kind, location, key, 0, "Halvorine has no such preset");
        return false;
    }
    core_.setProgram(preset);
    valuesChanged(true);
    if (hostPresetLoad_ && hostPresetLoad_->loaded) hostPresetLoad_->loaded(host_, kind, location, key);
    return true;
}

// The host reads every value again (the editor follows by itself); a
// preset is a change to the host's document, a restored state is not.
void Instance::valuesChanged(bool dirty) {
    if (hostParams_ && hostParams_->rescan) hostParams_->rescan(host_, kParamRescanValues);
    if (dirty && hostState_ && hostState_->mark_dirty) hostState_->mark_dirty(host_);
}

bool Instance::guiCreate(const char* api, bool floating) {
    onMain();
    if (!Gui::supported(host_, api, floating)) return false;
    try {
        gui_ = std::make_unique<Gui>(host_, core_, editorEvents_, processing_);
    } catch (...) {
        return false;
    }
    return true;
}

// --- the C tables ----------------------------------------------------------------

#define HALVORINE_SELF Instance::of(plugin)

const PluginAudioPorts kAudioPorts{
    [](const Plugin*, bool input) { return Instance::portCount(input); },
    [](const Plugin*, std::uint32_t index, bool input, AudioPortInfo* info) {
        return info && Instance::portInfo(index, input, *info);
    }};

const PluginParams kParamsExtension{
    [](const Plugin*) { return static_cast<std::uint32_t>(kParams); },
    [](const Plugin* plugin, std::uint32_t index, ParamInfo* info) {
        return info && HALVORINE_SELF.paramInfo(index, *info);
    },
    [](const Plugin* plugin, Id id, double* value) {
        return value && HALVORINE_SELF.paramValue(id, *value);
    },
    [](const Plugin*, Id id, double value, char* out, std::uint32_t capacity) {
        return Instance::valueToText(id, value, out, capacity);
    },
    [](const Plugin*, Id id, const char* text, double* value) {
        return value && Instance::textToValue(id, text, *value);
    },
    [](const Plugin* plugin, const InputEvents* in, const OutputEvents* out) {
        HALVORINE_SELF.flush(in, out);
    }};

const PluginState kState{
    [](const Plugin* plugin, const OStream* stream) {
        return stream && HALVORINE_SELF.save(*stream);
    },
    [](const Plugin* plugin, const IStream* stream) {
        return stream && HALVORINE_SELF.load(*stream);
    }};

const PluginLatency kLatency{[](const Plugin*) { return 0u; }};

const PluginTail kTail{
    [](const Plugin* plugin) { return HALVORINE_SELF.tail(); }};

const PluginPresetLoad kPresetLoad{
    [](const Plugin* plugin, std::uint32_t kind, const char* location,
       const char* key) { return HALVORINE_SELF.loadPreset(kind, location, key); }};

const PluginGui kGui{
    [](const Plugin* plugin, const char* api, bool floating) {
        return HALVORINE_SELF.guiSupported(api, floating);
    },
    [](const Plugin*, const char** api, bool* floating) {
        if (!api || !floating || !guiApi()) return false;
        *api = guiApi();
        *floating = false;
        return true;
    },
    [](const Plugin* plugin, const char* api, bool floating) {
        return HALVORINE_SELF.guiCreate(api, floating);
    },
    [](const Plugin* plugin) { HALVORINE_SELF.guiDestroy(); },
    [](const Plugin* plugin, double scale) {
        Gui* gui = HALVORINE_SELF.gui();
        if (!gui) return false;
        gui->setScale(scale);
        return true;
    },
    [](const Plugin* plugin, std::uint32_t* width, std::uint32_t* height) {
        Gui* gui = HALVORINE_SELF.gui();
        if (!width || !height || !gui) return false;
        const editor::EditorSize size = gui->size();
        *width = static_cast<std::uint32_t>(size.width);
        *height = static_cast<std::uint32_t>(size.height);
        return true;
    },
    [](const Plugin*) { return false; },
    [](const Plugin*, GuiResizeHints*) { return false; },
    [](const Plugin*, std::uint32_t*, std::uint32_t*) { return false; },
    [](const Plugin* plugin, std::uint32_t width, std::uint32_t height) {
        Gui* gui = HALVORINE_SELF.gui();
        if (!gui) return false;
        const editor::EditorSize size = gui->size();
        return width == static_cast<std::uint32_t>(size.width) &&
               height == static_cast<std::uint32_t>(size.height);
    },
    [](const Plugin* plugin, const Window* window) {
        Gui* gui = HALVORINE_SELF.gui();
        return gui && gui->setParent(window);
    },
    [](const Plugin*, const Window*) { return false; },
    [](const Plugin*, const char*) {},
    [](const Plugin* plugin) {
        Gui* gui = HALVORINE_SELF.gui();
        return gui && gui->show();
    },
    [](const Plugin* plugin) {
        Gui* gui = HALVORINE_SELF.gui();
        return gui && gui->hide();
    }};

const PluginTimerSupport kTimerSupport{[](const Plugin* plugin, Id timer) {
    if (Gui* gui = HALVORINE_SELF.gui()) gui->onTimer(timer);
}};

const PluginPosixFdSupport kPosixFdSupport{
    [](const Plugin* plugin, int fd, std::uint32_t flags) {
        if (Gui* gui = HALVORINE_SELF.gui()) gui->onFd(fd, flags);
    }};

const void* Instance::extension(const char* id) const {
    if (!id) return nullptr;
    const std::string_view name(id);
    if (name == kExtAudioPorts) return &kAudioPorts;
    if (name == kExtParams) return &kParamsExtension;
    if (name == kExtState) return &kState;
    if (name == kExtLatency) return &kLatency;
    if (name == kExtTail) return &kTail;
    if (name == kExtPresetLoad || name == kExtPresetLoadDraft) return &kPresetLoad;
    if (guiApi()) {
        if (name == kExtGui) return &kGui;
#if !defined(_WIN32)
        if (name == kExtTimerSupport) return &kTimerSupport;
        if (name == kExtPosixFdSupport) return &kPosixFdSupport;
#endif
    }
    return nullptr;
}

const Plugin kPluginTable{
    &kDescriptor,
    nullptr,
    [](const Plugin* plugin) { return HALVORINE_SELF.init(); },
    [](const Plugin* plugin) { delete &HALVORINE_SELF; },
    [](const Plugin* plugin, double rate, std::uint32_t, std::uint32_t) {
        return HALVORINE_SELF.activate(rate);
    },
    [](const Plugin* plugin) { HALVORINE_SELF.deactivate(); },
    [](const Plugin* plugin) { return HALVORINE_SELF.startProcessing(); },
    [](const Plugin* plugin) { HALVORINE_SELF.stopProcessing(); },
    [](const Plugin* plugin) { HALVORINE_SELF.reset(); },
    [](const Plugin* plugin, const Process* process) {
        return process ? HALVORINE_SELF.process(*process) : kProcessError;
    },
    [](const Plugin* plugin, const char* id) {
        return HALVORINE_SELF.extension(id);
    },
    [](const Plugin*) {}};

#undef HALVORINE_SELF

}  // namespace

const PluginDescriptor& descriptor() { return kDescriptor; }

const Plugin* makePlugin(const Host* host) noexcept {
    try {
        auto* instance = new Instance(host);
        instance->clap = kPluginTable;
        instance->clap.plugin_data = instance;
        return &instance->clap;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace halvorine::clap
