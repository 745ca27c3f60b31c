// One Halvorine instance as a CLAP plug-in: the effect core with its bank,
// the buses, the parameters in their units, the state bytes, the presets
// and the editor. Every call does only what its thread may: the audio
// thread (process, flush while active, reset) never allocates, locks or
// calls the system; the rest runs on the main thread. Builds with
// assertions check both with the host's thread-check where it offers one.
#include "plugin.h"

#include <algorithm>
#include <atomic>
#include <bit>
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
#include "factory_presets.h"
#include "presets.h"
#include "product.h"
#include "state_bytes.h"

#ifndef HALVORINE_VERSION
#error "HALVORINE_VERSION must give the project's version"
#endif

namespace halvorine::clap {
namespace {

constexpr int kParams = engine::kNamedParameters;
// The host's bypass switch: the parameter after the named ones; then the
// carrier synth's, ids 10..17 for slots 11..18.
constexpr Id kBypassId = static_cast<Id>(kParams);
constexpr Id kFirstSynthId = kBypassId + 1;
constexpr std::uint32_t kParamCount = static_cast<std::uint32_t>(kParams) + 1 + engine::kSynthSlots;

// The engine's slot of a parameter id, -1 for the bypass and unknown ids.
int slotOf(Id id) {
    if (id < kBypassId) return static_cast<int>(id);
    if (id >= kFirstSynthId && id < kParamCount) return static_cast<int>(id - kFirstSynthId) + engine::kSynthFirstSlot;
    return -1;
}
Id idOf(int slot) {
    return slot < kParams ? static_cast<Id>(slot) : kFirstSynthId + static_cast<Id>(slot - engine::kSynthFirstSlot);
}
constexpr std::uint32_t kInputMain = 0, kInputSide = 1;

// The bus layouts a host may choose (audio-ports-config), the first the
// default. A sidechain of 0 channels is no sidechain port: the main input
// then carries the modulator left and the carrier right, as in VST 2 (a
// mono main input alone would have no carrier, so it is not offered).
struct PortsConfig {
    const char* name;
    std::uint32_t main, side, out;  // channels
};
constexpr PortsConfig kConfigs[] = {
    {"Stereo, stereo sidechain", 2, 2, 2},
    {"Mono, mono sidechain", 1, 1, 2},
    {"Mono, mono sidechain, mono output", 1, 1, 1},
    {"Stereo: modulator left, carrier right", 2, 0, 2},
};
constexpr std::uint32_t kConfigCount = sizeof kConfigs / sizeof kConfigs[0];

// Change ids of modulation events, beside the parameters' own.
constexpr int kModulationIds = 64;

// The value axis hosts draw lanes and knobs on, linear in the value: the
// frequencies in octaves above 20 Hz (0 to 10, ten times the engine's
// normalised value, exact both ways), so a lane spends as much height on
// each octave; every other parameter in its unit.
bool inOctaves(int slot) { return engine::parameterInfo(slot).unit == engine::Unit::Hertz; }

double toValue(int slot, float normalised) {
    if (!inOctaves(slot)) return engine::toUnits(slot, normalised);
    const float v = normalised > 1.0f ? 1.0f : normalised >= 0.0f ? normalised : 0.0f;
    return 10.0 * static_cast<double>(v);
}

float toNormalised(int slot, double value) {
    if (!inOctaves(slot)) return engine::toNormalised(slot, value);
    const double v = value / 10.0;
    return v > 1.0 ? 1.0f : v >= 0.0 ? static_cast<float>(v) : 0.0f;  // not a number: 0
}

// Hosts may modulate every continuous parameter; the shift moves in whole bands.
bool modulatable(int slot) { return engine::parameterInfo(slot).steps == 0; }

// Where each parameter sits in a host's tree of modules.
constexpr const char* kModules[engine::kAllSlots] = {"Modulator", "Modulator", "Modulator", "Carrier",
                                                    "Carrier",   "Carrier",   "Ring",      "Output",
                                                    "Output",    "",          "",          "Carrier",
                                                    "Synth",     "Synth",     "Synth",     "Synth",
                                                    "Synth",     "Synth",     "Synth"};

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
    void reset();
    ProcessStatus process(const Process& p);
    const void* extension(const char* id) const;
    void mainThread();

    // audio-ports and audio-ports-config
    std::uint32_t portCount(bool input) const { onMain(); return portCountOf(config_, input); }
    bool portInfo(std::uint32_t index, bool input, AudioPortInfo& info) const {
        onMain();
        return portInfoOf(config_, index, input, info);
    }
    static std::uint32_t portCountOf(std::uint32_t config, bool input) {
        return input ? (kConfigs[config].side ? 2 : 1) : 1;
    }
    static bool portInfoOf(std::uint32_t config, std::uint32_t index, bool input, AudioPortInfo& info);
    static bool configInfo(std::uint32_t index, AudioPortsConfig& config);
    bool selectConfig(Id id);
    Id currentConfig() const { onMain(); return config_; }

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
        return Gui::supported(api, floating);
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
    void addNote(const EventHeader* e);
    void collectChanges(const InputEvents* in);
    void applyChange(const common::Change& c);
    void modulate(int slot, double amount);
    void playModulated(int slot);
    void followModulatedValues();
    void clearModulation();
    bool inputsSilent(const AudioBuffer* main, int mainChannels, const AudioBuffer* side,
                      int sideChannels, int frames) const;
    void sendEditorEvents(const OutputEvents* out);
    void requestEditorDelivery();
    void valuesChanged(bool dirty);

    const Host* host_;
    const HostThreadCheck* threadCheck_ = nullptr;
    const HostParams* hostParams_ = nullptr;
    const HostState* hostState_ = nullptr;
    const HostPresetLoad* hostPresetLoad_ = nullptr;
    EffectCore core_;
    common::BusInputs buses_;
    common::ChangeList changes_;
    common::NoteEvents noteEvents_;
    common::NoteEvents* notes_ = nullptr;  // while a block collects its events
    common::Bypass bypass_;
    EditorQueue editorEvents_;
    std::atomic<bool> processing_{false};
    bool active_ = false;
    std::uint32_t config_ = 0;  // main thread; chosen only while inactive
    std::unique_ptr<Gui> gui_;

    // Whichever thread processes or flushes. A modulation's amount in the
    // value axis (0: none), and the program's value its played value was
    // made from, to follow changes the editor, a preset or a state makes.
    double modulation_[engine::kAllSlots] = {};
    float modulatedFrom_[engine::kAllSlots] = {};
    // Input frames in a row that were silent, and whether the filters were
    // reset when the plug-in went to sleep.
    std::uint64_t quietFrames_ = 0;
    bool asleep_ = false;
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
    bypass_.setRate(rate);
    bypass_.settle();
    clearModulation();
    quietFrames_ = 0;
    asleep_ = false;
    active_ = true;
    return true;
}

void Instance::reset() {
    onAudio();
    core_.reset();
    clearModulation();
    quietFrames_ = 0;
    asleep_ = false;
}

// --- processing -------------------------------------------------------------

void Instance::apply(const EventHeader* e) {
    if (!e || e->space_id != kCoreEventSpace) return;
    if (e->type == kEventParamValue && e->size >= sizeof(EventParamValue)) {
        const auto* v = reinterpret_cast<const EventParamValue*>(e);
        if (v->param_id >= kParamCount) return;
        changes_.add(static_cast<int>(e->time), static_cast<int>(v->param_id), v->value);
    } else if (e->type == kEventParamMod && e->size >= sizeof(EventParamMod)) {
        const auto* m = reinterpret_cast<const EventParamMod*>(e);
        const int slot = slotOf(m->param_id);
        if (slot < 0 || !modulatable(slot)) return;
        changes_.add(static_cast<int>(e->time), kModulationIds + slot, m->amount);
    } else if (notes_) {
        addNote(e);
    }
}

// The notes of either dialect, at their frames.
void Instance::addNote(const EventHeader* e) {
    const int frame = static_cast<int>(e->time);
    if ((e->type == kEventNoteOn || e->type == kEventNoteOff || e->type == kEventNoteChoke) &&
        e->size >= sizeof(EventNote)) {
        const auto* n = reinterpret_cast<const EventNote*>(e);
        dsp::NoteEvent note;
        note.frame = frame;
        note.key = n->key;
        note.value = static_cast<float>(n->velocity);
        if (e->type == kEventNoteOn) {
            if (n->key < 0 || n->key > 127) return;
            note.kind = dsp::NoteEvent::On;
            if (!(note.value > 0.0f)) note.value = 0.0f;  // an on at velocity 0 is an off
        } else if (e->type == kEventNoteOff) {
            if (n->key < 0 || n->key > 127) return;  // wildcards: every key
            note.kind = dsp::NoteEvent::Off;
        } else {
            note.kind = dsp::NoteEvent::Choke;
            if (n->key < 0 || n->key > 127) note.key = -1;
        }
        notes_->add(note);
    } else if (e->type == kEventMidi && e->size >= sizeof(EventMidi)) {
        const auto* m = reinterpret_cast<const EventMidi*>(e);
        notes_->addMidi(frame, m->data, 3);
    }
}

void Instance::applyChange(const common::Change& c) {
    if (c.id == static_cast<int>(kBypassId)) {
        bypass_.request(c.value >= 0.5);
        return;
    }
    if (c.id >= kModulationIds) {
        modulate(c.id - kModulationIds, c.value);
        return;
    }
    const int slot = slotOf(static_cast<Id>(c.id));
    if (slot < 0) return;
    core_.setParameter(slot, toNormalised(slot, c.value));
    if (modulation_[slot] != 0.0) playModulated(slot);  // the modulation rides on the new value
}

void Instance::modulate(int slot, double amount) {
    if (amount == 0.0 || !std::isfinite(amount)) {  // the host ended it
        if (modulation_[slot] != 0.0) core_.clearPlayedValue(slot);
        modulation_[slot] = 0.0;
        return;
    }
    modulation_[slot] = amount;
    playModulated(slot);
}

// The engine plays the value and the modulation summed, within the range.
void Instance::playModulated(int slot) {
    const float value = core_.parameter(slot);
    modulatedFrom_[slot] = value;
    core_.setPlayedValue(slot, toNormalised(slot, toValue(slot, value) + modulation_[slot]));
}

// A value changed by the editor, a preset or a state since the last block:
// its modulation rides on the new value from this block on.
void Instance::followModulatedValues() {
    for (int slot = 0; slot < engine::kAllSlots; ++slot)
        if (modulation_[slot] != 0.0 && !(core_.parameter(slot) == modulatedFrom_[slot])) playModulated(slot);
}

void Instance::clearModulation() {
    for (double& amount : modulation_) amount = 0.0;
    core_.clearPlayedValues();
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

// An event the host's list refuses stays first in the queue, with all
// after it, for the next flush or block.
void Instance::sendEditorEvents(const OutputEvents* out) {
    if (!out || !out->try_push) return;
    editorEvents_.drain([&](const EditorEvent& e) {
        if (e.kind == EditorEvent::Value) {
            EventParamValue v{};
            v.header = {sizeof v, 0, kCoreEventSpace, kEventParamValue, 0};
            v.param_id = idOf(e.id);
            v.note_id = -1;
            v.port_index = v.channel = v.key = -1;
            v.value = toValue(e.id, e.value);
            return out->try_push(out, &v.header);
        }
        EventParamGesture g{};
        g.header = {sizeof g, 0, kCoreEventSpace,
                    e.kind == EditorEvent::Begin ? kEventParamGestureBegin : kEventParamGestureEnd, 0};
        g.param_id = idOf(e.id);
        return out->try_push(out, &g.header);
    });
}

// Editor events that found the queue full wait on the main thread; with
// the editor open its timer retries them, after it closes this callback does.
void Instance::mainThread() {
    onMain();
    if (gui_ || editorEvents_.retry()) return;
    requestEditorDelivery();
    if (host_->request_callback) host_->request_callback(host_);
}

void Instance::requestEditorDelivery() {
    if (processing_.load(std::memory_order_acquire)) return;  // the next block takes them
    if (hostParams_ && hostParams_->request_flush) hostParams_->request_flush(host_);
    else if (host_->request_process) host_->request_process(host_);
}

bool Instance::inputsSilent(const AudioBuffer* main, int mainChannels, const AudioBuffer* side,
                            int sideChannels, int frames) const {
    const auto silent = [frames](const AudioBuffer* bus, int channels) {
        for (int c = 0; c < channels; ++c) {
            const float* x = bus->data32[c];
            if (!x) continue;
            if (frames > 0 && (bus->constant_mask >> c & 1u) && x[0] == 0.0f) continue;
            // Every bit but the sign, or'ed: whole vectors at a time, and -0 is silence too.
            std::uint32_t bits = 0;
            for (int i = 0; i < frames; ++i) bits |= std::bit_cast<std::uint32_t>(x[i]) << 1;
            if (bits != 0) return false;
        }
        return true;
    };
    return silent(main, mainChannels) && silent(side, sideChannels);
}

ProcessStatus Instance::process(const Process& p) {
    onAudio();
    if (!p.audio_outputs || p.audio_outputs_count < 1) return kProcessError;
    AudioBuffer& out = p.audio_outputs[0];
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
    noteEvents_.clear(frames);
    notes_ = &noteEvents_;
    collectChanges(p.in_events);
    notes_ = nullptr;
    noteEvents_.sort();

    // Asleep on silence: once the inputs have been silent for the tail (the
    // filters have rung out), a silent block without parameter events is
    // silence, and the filters start again from silence, as a fresh
    // instance's, when sound or an event comes.
    const bool silent = inputsSilent(main, mainChannels, side, sideChannels, frames);
    const bool synth = noteEvents_.size() > 0 || core_.engine().synthSounding();
    if (silent && !synth && changes_.size() == 0 && frames > 0 && quietFrames_ >= core_.tailFrames()) {
        if (!asleep_) core_.reset();
        asleep_ = true;
        for (int c = 0; c < outChannels; ++c)
            if (out.data32[c]) std::fill(out.data32[c], out.data32[c] + frames, 0.0f);
        out.constant_mask = (std::uint64_t{1} << outChannels) - 1;
        return kProcessSleep;
    }
    asleep_ = false;
    quietFrames_ = silent && !synth ? quietFrames_ + static_cast<std::uint64_t>(frames) : 0;

    followModulatedValues();
    common::renderSplit(
        changes_, frames, [&](const common::Change& c) { applyChange(c); },
        [&](int start, int count) {
            common::renderBuses(core_, buses_, mainChannels ? main->data32 : nullptr, mainChannels,
                                sideChannels ? side->data32 : nullptr, sideChannels, out.data32,
                                outChannels, start, count, &bypass_, &noteEvents_);
        });
    out.constant_mask = 0;  // none of ours is known to be constant
    return kProcessContinue;
}

void Instance::flush(const InputEvents* in, const OutputEvents* out) {
    if (active_) onAudio();
    else onMain();
    sendEditorEvents(out);
    collectChanges(in);
    followModulatedValues();
    for (int i = 0; i < changes_.size(); ++i) applyChange(changes_[i]);
}

// --- ports and parameters ----------------------------------------------------

bool Instance::portInfoOf(std::uint32_t config, std::uint32_t index, bool input, AudioPortInfo& info) {
    if (config >= kConfigCount || index >= portCountOf(config, input)) return false;
    const PortsConfig& c = kConfigs[config];
    // The main input and the output share buffers when their channels match.
    const bool inPlace = c.main == c.out;
    info = AudioPortInfo{};
    info.id = index;
    info.in_place_pair = kInvalidId;
    if (!input) {
        copyText(info.name, sizeof info.name, "Output");
        info.flags = kAudioPortIsMain;
        info.channel_count = c.out;
        if (inPlace) info.in_place_pair = kInputMain;
    } else if (index == kInputMain) {
        copyText(info.name, sizeof info.name, c.side ? "Modulator" : "Modulator, carrier");
        info.flags = kAudioPortIsMain;
        info.channel_count = c.main;
        if (inPlace) info.in_place_pair = 0;
    } else {
        copyText(info.name, sizeof info.name, "Carrier");
        info.channel_count = c.side;
    }
    info.port_type = info.channel_count == 1 ? kPortMono : kPortStereo;
    return true;
}

bool Instance::configInfo(std::uint32_t index, AudioPortsConfig& config) {
    if (index >= kConfigCount) return false;
    const PortsConfig& c = kConfigs[index];
    config = AudioPortsConfig{};
    config.id = index;
    copyText(config.name, sizeof config.name, c.name);
    config.input_port_count = portCountOf(index, true);
    config.output_port_count = portCountOf(index, false);
    config.has_main_input = true;
    config.main_input_channel_count = c.main;
    config.main_input_port_type = c.main == 1 ? kPortMono : kPortStereo;
    config.has_main_output = true;
    config.main_output_channel_count = c.out;
    config.main_output_port_type = c.out == 1 ? kPortMono : kPortStereo;
    return true;
}

bool Instance::selectConfig(Id id) {
    onMain();
    if (active_ || id >= kConfigCount) return false;
    config_ = id;
    return true;
}

bool Instance::paramInfo(std::uint32_t index, ParamInfo& info) const {
    onMain();
    if (index == kBypassId) {
        info = ParamInfo{};
        info.id = kBypassId;
        info.flags = kParamIsAutomatable | kParamIsStepped | kParamIsBypass;
        copyText(info.name, sizeof info.name, "Bypass");
        info.max_value = 1.0;
        return true;
    }
    const int slot = slotOf(index);
    if (slot < 0) return false;
    const engine::ParameterInfo& p = engine::parameterInfo(slot);
    info = ParamInfo{};
    info.id = index;
    info.flags = kParamIsAutomatable | (p.steps > 0 ? kParamIsStepped : 0u) |
                 (modulatable(slot) ? kParamIsModulatable : 0u);
    copyText(info.name, sizeof info.name, p.name);
    copyText(info.module, sizeof info.module, kModules[slot]);
    info.min_value = toValue(slot, 0.0f);
    info.max_value = toValue(slot, 1.0f);
    info.default_value = toValue(slot, p.defaultValue);
    return true;
}

bool Instance::paramValue(Id id, double& value) const {
    onMain();
    if (id == kBypassId) {
        value = bypass_.requested() ? 1.0 : 0.0;
        return true;
    }
    const int slot = slotOf(id);
    if (slot < 0) return false;
    value = toValue(slot, core_.parameter(slot));
    return true;
}

bool Instance::valueToText(Id id, double value, char* out, std::uint32_t capacity) {
    if (id == kBypassId && out && capacity > 0) {
        copyText(out, capacity, value >= 0.5 ? "On" : "Off");
        return true;
    }
    const int slot = slotOf(id);
    if (slot < 0 || !out || capacity == 0) return false;
    engine::writeValueText(slot, toNormalised(slot, value), out, capacity);
    return true;
}

bool Instance::textToValue(Id id, const char* text, double& value) {
    if (id == kBypassId && text) {
        const std::string_view t(text);
        if (t == "On" || t == "on" || t == "1") value = 1.0;
        else if (t == "Off" || t == "off" || t == "0") value = 0.0;
        else return false;
        return true;
    }
    const int slot = slotOf(id);
    if (slot < 0 || !text) return false;
    float normalised = 0.0f;
    if (!engine::parseValueText(slot, text, normalised)) return false;
    value = toValue(slot, normalised);
    return true;
}

// --- state and presets ---------------------------------------------------------

bool Instance::save(const OStream& stream) {
    onMain();
    std::uint8_t bytes[common::kStateBytes];
    const std::size_t size = common::writeState(core_, bytes, sizeof bytes, bypass_.requested());
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
    bool bypassed = bypass_.requested();  // a single program keeps the switch
    if (!common::readState(core_, bytes, size, &bypassed)) return false;
    bypass_.request(bypassed);
    if (!active_) bypass_.settle();  // before processing starts: at once
    valuesChanged(false);
    return true;
}

bool Instance::loadPreset(std::uint32_t kind, const char* location, const char* key) {
    onMain();
    const bool inPlugin = kind == kPresetLocationPlugin && !location;
    const int preset = inPlugin ? presetOfKey(key) : -1;
    const int factory = inPlugin ? factoryPresetOfKey(key) : -1;
    if (preset < 0 && factory < 0) {
        if (hostPresetLoad_ && hostPresetLoad_->on_error)
            hostPresetLoad_->on_error(host_, kind, location, key, 0, "Halvorine has no such preset");
        return false;
    }
    if (preset >= 0) {
        core_.setProgram(preset);
    } else {
        const FactoryPreset& p = factoryPresets()[factory];
        core_.loadIntoProgram(p.values, p.name);
    }
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
    if (!Gui::supported(api, floating) || !Gui::hostCanDrive(host_)) return false;
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
    [](const Plugin* plugin, bool input) { return HALVORINE_SELF.portCount(input); },
    [](const Plugin* plugin, std::uint32_t index, bool input, AudioPortInfo* info) {
        return info && HALVORINE_SELF.portInfo(index, input, *info);
    }};

const PluginAudioPortsConfig kAudioPortsConfig{
    [](const Plugin*) { return kConfigCount; },
    [](const Plugin*, std::uint32_t index, AudioPortsConfig* config) {
        return config && Instance::configInfo(index, *config);
    },
    [](const Plugin* plugin, Id id) { return HALVORINE_SELF.selectConfig(id); }};

const PluginAudioPortsConfigInfo kAudioPortsConfigInfo{
    [](const Plugin* plugin) { return HALVORINE_SELF.currentConfig(); },
    [](const Plugin*, Id config, std::uint32_t index, bool input, AudioPortInfo* info) {
        return info && Instance::portInfoOf(config, index, input, *info);
    }};

// One note input: CLAP's own notes and MIDI 1.0 messages.
const PluginNotePorts kNotePorts{
    [](const Plugin*, bool input) { return input ? 1u : 0u; },
    [](const Plugin*, std::uint32_t index, bool input, NotePortInfo* info) {
        if (!input || index != 0 || !info) return false;
        *info = NotePortInfo{};
        info->id = 0;
        info->supported_dialects = kNoteDialectClap | kNoteDialectMidi;
        info->preferred_dialect = kNoteDialectClap;
        copyText(info->name, sizeof info->name, "Notes");
        return true;
    }};

const PluginParams kParamsExtension{
    [](const Plugin*) { return kParamCount; },
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
        return gui && gui->setScale(scale);
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
    if (name == kExtAudioPortsConfig) return &kAudioPortsConfig;
    if (name == kExtAudioPortsConfigInfo || name == kExtAudioPortsConfigInfoDraft)
        return &kAudioPortsConfigInfo;
    if (name == kExtParams) return &kParamsExtension;
    if (name == kExtNotePorts) return &kNotePorts;
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
    [](const Plugin* plugin) { HALVORINE_SELF.mainThread(); }};

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
