#include "effect.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "identity.h"
#include "parameter_table.h"
#include "state_bytes.h"
#include "view.h"

namespace halvorine::vst3 {
namespace {

constexpr int kLastProgram = EffectCore::kPrograms - 1;

// ASCII text into a host's UTF-16 field (the plug-in's texts are ASCII).
void toUtf16(const char* text, char16* out, std::size_t capacity) {
    std::size_t i = 0;
    for (; text && text[i] && i + 1 < capacity; ++i)
        out[i] = static_cast<char16>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

// A host's UTF-16 text as ASCII; anything else becomes '?', which no
// value text contains.
void fromUtf16(const char16* text, char* out, std::size_t capacity) {
    std::size_t i = 0;
    for (; text && text[i] && i + 1 < capacity; ++i)
        out[i] = text[i] < 128 ? static_cast<char>(text[i]) : '?';
    out[i] = 0;
}

// Stepped parameters as VST 3 hosts step them: step k of `steps` covers
// host values [k, k + 1) / (steps + 1) and is shown at k / steps, so a host
// that snaps to the grid and one that does not agree on every step.
int stepOf(ParamValue normalised, int steps) {
    if (!(normalised > 0.0)) return 0;
    if (normalised >= 1.0) return steps;
    return std::min(steps, static_cast<int>(std::floor(normalised * (steps + 1))));
}

int programOf(ParamValue normalised) { return stepOf(normalised, kLastProgram); }

ParamValue normalisedProgram(int program) {
    return static_cast<ParamValue>(program) / kLastProgram;
}

// The engine keeps its own mapping for the shift, the one stepped slot (it
// shifts by roundDown(63 v) bands, and a count N is the value (N + 0.5) / 63,
// safely inside its step); its units are the step count. The binding turns
// host steps into that value and back, so step k plays exactly k bands.
float engineValue(int slot, ParamValue host) {
    const engine::ParameterInfo& p = engine::parameterInfo(slot);
    if (p.steps > 0) return engine::toNormalised(slot, p.minimum + stepOf(host, p.steps));
    return dsp::SpectralRingModulator::clampValue(static_cast<float>(host));
}

ParamValue hostValue(int slot, float value) {
    const engine::ParameterInfo& p = engine::parameterInfo(slot);
    if (p.steps > 0) return std::round(engine::toUnits(slot, value) - p.minimum) / p.steps;
    return value;
}

bool isParameter(ParamID id) { return id < static_cast<ParamID>(Effect::kSlotIds); }
// The engine's slot of a parameter id (0..16), and back.
int slotOf(ParamID id) { return id < 9 ? static_cast<int>(id) : static_cast<int>(id) + 2; }
ParamID idOf(int slot) { return static_cast<ParamID>(slot < 9 ? slot : slot - 2); }
bool isMidiParameter(ParamID id) {
    return id >= Effect::kBendParameter && id < Effect::kBendParameter + Effect::kMidiParameters;
}

// Bytes from a host stream until it has no more or `capacity` are in. A
// read that delivers less than asked is the stream's end, whatever it
// returns: some hosts answer that last read with kResultFalse, and its bytes
// count all the same.
// Whether the host says the stream is a preset file ("StateType" is
// "Default") rather than a project; a stream without attributes is a
// project's, as before hosts told.
bool isPresetStream(IBStream* stream) {
    void* found = nullptr;
    if (stream->queryInterface(IStreamAttributes::iid.bytes, &found) != kResultOk || !found)
        return false;
    auto* attributes = static_cast<IStreamAttributes*>(found);
    bool preset = false;
    if (IAttributeList* list = attributes->getAttributes()) {
        char16 type[16] = {};
        if (list->getString(kStateTypeAttribute, type, sizeof type) == kResultOk) {
            type[15] = 0;
            preset = std::u16string_view(type) == kStateTypePreset;
        }
    }
    attributes->release();
    return preset;
}

std::size_t readAll(IBStream* stream, std::uint8_t* out, std::size_t capacity) {
    std::size_t total = 0;
    while (total < capacity) {
        const auto wanted = static_cast<int32>(capacity - total);
        int32 got = 0;
        stream->read(out + total, wanted, &got);
        if (got <= 0) break;
        total += static_cast<std::size_t>(std::min(got, wanted));
        if (got < wanted) break;
    }
    return total;
}

}  // namespace

Effect::Effect() { takeValuesFromCore(); }

// ------------------------------------------------------------------ FUnknown

tresult Effect::queryInterface(const TUID interfaceId, void** obj) {
    if (!obj) return kInvalidArgument;
    void* found = nullptr;
    if (FUnknown::iid.matches(interfaceId) || IPluginBase::iid.matches(interfaceId) || IComponent::iid.matches(interfaceId))
        found = static_cast<IComponent*>(this);
    else if (IAudioProcessor::iid.matches(interfaceId))
        found = static_cast<IAudioProcessor*>(this);
    else if (IEditController::iid.matches(interfaceId))
        found = static_cast<IEditController*>(this);
    else if (IUnitInfo::iid.matches(interfaceId))
        found = static_cast<IUnitInfo*>(this);
    else if (IMidiMapping::iid.matches(interfaceId))
        found = static_cast<IMidiMapping*>(this);
    *obj = found;
    if (!found) return kNoInterface;
    addRef();
    return kResultOk;
}

uint32 Effect::addRef() { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32 Effect::release() {
    const uint32 left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

tresult Effect::initialize(FUnknown*) { return kResultOk; }
tresult Effect::terminate() {
    setComponentHandler(nullptr);
    return kResultOk;
}

Effect::~Effect() { setComponentHandler(nullptr); }

// ----------------------------------------------------------------- component

tresult Effect::getControllerClassId(TUID classId) {
    // No separate controller class: this object is the controller.
    if (classId) std::memset(classId, 0, sizeof(TUID));
    return kResultFalse;
}

tresult Effect::setIoMode(int32) { return kResultOk; }

int32 Effect::getBusCount(int32 type, int32 dir) {
    if (type == kEvent) return dir == kInput ? 1 : 0;  // the notes that play the synth
    if (type != kAudio) return 0;
    return dir == kInput ? 2 : dir == kOutput ? 1 : 0;
}

tresult Effect::getBusInfo(int32 type, int32 dir, int32 index, BusInfo& bus) {
    if (type == kEvent) {
        // An auxiliary bus: a host that finds a main event bus may take the
        // effect for an instrument and lay its audio buses out anew (Ardour
        // then feeds the modulator alone to a mono main bus).
        if (dir != kInput || index != 0) return kInvalidArgument;
        std::memset(&bus, 0, sizeof bus);
        bus.mediaType = kEvent;
        bus.direction = kInput;
        bus.channelCount = 16;
        toUtf16("Notes", bus.name, 128);
        bus.busType = kAux;
        bus.flags = BusInfo::kDefaultActive;
        return kResultOk;
    }
    if (type != kAudio) return kInvalidArgument;
    std::memset(&bus, 0, sizeof bus);
    bus.mediaType = kAudio;
    bus.direction = dir;
    if (dir == kInput && index == 0) {
        bus.channelCount = mainChannels_.load();
        toUtf16("Modulator", bus.name, 128);
        bus.busType = kMain;
        bus.flags = BusInfo::kDefaultActive;
    } else if (dir == kInput && index == 1) {
        bus.channelCount = sideChannels_.load();
        toUtf16("Carrier", bus.name, 128);
        bus.busType = kAux;
        bus.flags = 0;
    } else if (dir == kOutput && index == 0) {
        bus.channelCount = outputChannels_.load();
        toUtf16("Output", bus.name, 128);
        bus.busType = kMain;
        bus.flags = BusInfo::kDefaultActive;
    } else {
        return kInvalidArgument;
    }
    return kResultOk;
}

tresult Effect::getRoutingInfo(RoutingInfo&, RoutingInfo&) { return kNotImplemented; }

tresult Effect::activateBus(int32 type, int32 dir, int32 index, TBool state) {
    if (type == kEvent) return dir == kInput && index == 0 ? kResultOk : kInvalidArgument;
    if (type != kAudio) return kInvalidArgument;
    if (dir == kInput && index == 1) sideActive_.store(state != 0);
    return index == 0 || (dir == kInput && index == 1) ? kResultOk : kInvalidArgument;
}

tresult Effect::setActive(TBool state) {
    if (state) {
        core_.reset();  // every activation starts from silent filters
        bypass_.settle();
    }
    active_.store(state != 0);
    return kResultOk;
}

tresult Effect::loadBank(IBStream* state) {
    if (!state) return kInvalidArgument;
    std::uint8_t bytes[common::kStateBytes + 1];
    const std::size_t size = readAll(state, bytes, sizeof bytes);
    bool bypassed = bypass_.requested();  // a single program keeps the switch
    if (!common::readState(core_, bytes, size, &bypassed)) return kResultFalse;
    bypass_.request(bypassed);
    if (!active_.load()) bypass_.settle();  // before processing starts: at once
    clearPending();
    takeValuesFromCore();
    return kResultOk;
}

tresult Effect::saveBank(IBStream* state) {
    if (!state) return kInvalidArgument;
    // The bank as processing has it, with the values the controller has
    // that processing has not received yet.
    EffectCore::Bank bank;
    core_.readBank(bank);
    if (const int program = pendingProgram_.load(); program >= 0) bank.current = program;
    for (int id = 0; id < kSlotIds; ++id)
        if (const std::uint64_t p = pending_[static_cast<std::size_t>(id)].load())
            bank.values[(p >> 32) - 1][slotOf(static_cast<ParamID>(id))] =
                std::bit_cast<float>(static_cast<std::uint32_t>(p));
    const int bypass = pendingBypass_.load();
    std::uint8_t bytes[common::kStateBytes];
    // A preset holds one sound: the current program alone, which loads
    // into whichever program is current then. A project keeps the bank.
    const std::size_t size =
        isPresetStream(state)
            ? common::writeProgramState(bank.names[bank.current], bank.values[bank.current], bytes,
                                        sizeof bytes)
            : common::writeState(bank, bytes, sizeof bytes,
                                 bypass >= 0 ? bypass == 1 : bypass_.requested());
    std::size_t done = 0;
    while (done < size) {
        int32 wrote = 0;
        if (state->write(bytes + done, static_cast<int32>(size - done), &wrote) != kResultOk ||
            wrote <= 0)
            return kResultFalse;
        done += static_cast<std::size_t>(wrote);
    }
    return kResultOk;
}

// ------------------------------------------------------------------ processor

namespace {
int channelsOf(SpeakerArrangement arrangement) {
    if (arrangement == speaker::kMono) return 1;
    if (arrangement == speaker::kStereo) return 2;
    return 0;
}
}  // namespace

tresult Effect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                   SpeakerArrangement* outputs, int32 numOuts) {
    if (numIns < 1 || numIns > 2 || numOuts != 1 || !inputs || !outputs) return kResultFalse;
    const int main = channelsOf(inputs[0]);
    // An empty sidechain is a host's way to say it routes none: the effect
    // then reads its main input as VST 2 does.
    const bool sideEmpty = numIns > 1 && inputs[1] == speaker::kEmpty;
    const int side = numIns > 1 ? channelsOf(inputs[1]) : sideChannels_.load();
    const int out = channelsOf(outputs[0]);
    if (!main || (!side && !sideEmpty) || !out) return kResultFalse;
    mainChannels_.store(main);
    sideChannels_.store(side);
    outputChannels_.store(out);
    return kResultTrue;
}

tresult Effect::getBusArrangement(int32 dir, int32 index, SpeakerArrangement& arr) {
    int channels = 0;
    if (dir == kInput && index == 0) channels = mainChannels_.load();
    else if (dir == kInput && index == 1) channels = sideChannels_.load();
    else if (dir == kOutput && index == 0) channels = outputChannels_.load();
    else return kInvalidArgument;
    arr = channels == 1 ? speaker::kMono : channels == 2 ? speaker::kStereo : speaker::kEmpty;
    return kResultOk;
}

tresult Effect::canProcessSampleSize(int32 size) {
    return size == kSample32 ? kResultTrue : kResultFalse;
}

uint32 Effect::getLatencySamples() { return 0; }

tresult Effect::setupProcessing(ProcessSetup& setup) {
    // 32-bit floats only, and a rate the filters can be designed at.
    const float rate = static_cast<float>(setup.sampleRate);
    if (setup.symbolicSampleSize != kSample32 || !std::isfinite(rate) || rate <= 0.0f)
        return kResultFalse;
    core_.setSampleRate(rate);
    bypass_.setRate(rate);
    return kResultOk;
}

tresult Effect::setProcessing(TBool) { return kResultOk; }

void Effect::collectChanges(IParameterChanges* changes) {
    changes_.clear();
    if (!changes) return;
    const int32 queues = changes->getParameterCount();
    for (int32 q = 0; q < queues; ++q) {
        IParamValueQueue* queue = changes->getParameterData(q);
        if (!queue) continue;
        const ParamID id = queue->getParameterId();
        const bool midi = isMidiParameter(id);
        if (!isParameter(id) && id != kProgramParameter && id != kBypassParameter && !midi) continue;
        const int32 points = queue->getPointCount();
        for (int32 p = 0; p < points; ++p) {
            int32 offset = 0;
            ParamValue value = 0.0;
            if (queue->getPoint(p, offset, value) != kResultOk) continue;
            if (!midi) {
                changes_.add(offset, static_cast<int>(id), value);
                continue;
            }
            // A MIDI controller the host mapped: a note event at its sample.
            midiValues_[id - kBendParameter].store(static_cast<float>(value), std::memory_order_relaxed);
            dsp::NoteEvent e;
            e.frame = offset;
            e.kind = id == kBendParameter      ? dsp::NoteEvent::Bend
                     : id == kSustainParameter ? dsp::NoteEvent::Sustain
                                               : dsp::NoteEvent::AllOff;
            e.value = id == kBendParameter ? static_cast<float>(2.0 * value - 1.0) : static_cast<float>(value);
            notes_.add(e);
        }
    }
    changes_.sort();
}

// The event bus's notes, each at its sample offset.
void Effect::collectNotes(IEventList* events, int frames) {
    notes_.clear(frames);
    if (!events) return;
    const int32 count = events->getEventCount();
    for (int32 i = 0; i < count; ++i) {
        Event e{};
        if (events->getEvent(i, e) != kResultOk || e.busIndex != 0) continue;
        dsp::NoteEvent note;
        note.frame = e.sampleOffset;
        if (e.type == Event::kNoteOnEvent) {
            note.kind = dsp::NoteEvent::On;
            note.key = e.noteOn.pitch;
            note.value = e.noteOn.velocity > 0.0f ? e.noteOn.velocity : 0.0f;  // 0: an off
        } else if (e.type == Event::kNoteOffEvent) {
            note.kind = dsp::NoteEvent::Off;
            note.key = e.noteOff.pitch;
        } else {
            continue;
        }
        if (note.key < 0 || note.key > 127) continue;
        notes_.add(note);
    }
}

void Effect::apply(const common::Change& change) {
    if (change.id == static_cast<int>(kBypassParameter)) {
        bypass_.request(change.value >= 0.5);
        bypassShown_.store(change.value >= 0.5, std::memory_order_relaxed);
        pendingBypass_.store(-1, std::memory_order_relaxed);
    } else if (change.id == static_cast<int>(kProgramParameter)) {
        core_.setProgram(programOf(change.value));
        pendingProgram_.store(-1, std::memory_order_relaxed);
    } else {
        const int slot = slotOf(static_cast<ParamID>(change.id));
        core_.setParameter(slot, engineValue(slot, change.value));
        pending_[static_cast<std::size_t>(change.id)].store(0, std::memory_order_relaxed);
    }
}

// The channels of input bus `index` from `offset` on: silent channels (by
// the host's flags, or missing) read zeros.
Effect::Bus Effect::inputBus(const ProcessData& data, int index, int offset) const {
    Bus bus{{zeros_.data(), zeros_.data()}, 0};
    if (index >= data.numInputs || !data.inputs) return bus;
    const AudioBusBuffers& b = data.inputs[index];
    if (b.numChannels < 1 || !b.channelBuffers32) return bus;
    bus.count = std::min<int>(b.numChannels, 2);
    for (int ch = 0; ch < bus.count; ++ch) {
        const float* samples = b.channelBuffers32[ch];
        const bool silent = !samples || (b.silenceFlags >> ch) & 1u;
        bus.channels[ch] = silent ? zeros_.data() : samples + offset;
    }
    return bus;
}

void Effect::render(const ProcessData& data, int start, int frames) {
    AudioBusBuffers& out = data.outputs[0];
    const int outputs = std::min<int>(out.numChannels, 2);
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, common::BusInputs::kMaxFrames);
        const int at = start + done;
        const Bus main = inputBus(data, 0, at);
        Bus side{{nullptr, nullptr}, 0};
        if (sideActive_.load(std::memory_order_relaxed) && sideChannels_.load(std::memory_order_relaxed) > 0)
            side = inputBus(data, 1, at);
        float* o[2] = {out.channelBuffers32[0] + at,
                       outputs > 1 ? out.channelBuffers32[1] + at : nullptr};
        common::renderBuses(core_, buses_, main.channels, std::max(main.count, 1),
                            side.count ? side.channels : nullptr, side.count, o, outputs, 0, n, &bypass_,
                            &notes_, at);
        done += n;
    }
}

tresult Effect::process(ProcessData& data) {
    if (data.symbolicSampleSize != kSample32) return kInvalidArgument;
    const int frames = data.numSamples;
    collectNotes(data.inputEvents, frames);
    collectChanges(data.inputParameterChanges);
    notes_.sort();
    const bool canRender = frames > 0 && data.numOutputs > 0 && data.outputs &&
                           data.outputs[0].numChannels > 0 && data.outputs[0].channelBuffers32;
    if (!canRender) {
        for (int i = 0; i < changes_.size(); ++i) apply(changes_[i]);
        return kResultOk;
    }
    common::renderSplit(
        changes_, frames, [this](const common::Change& c) { apply(c); },
        [this, &data](int start, int count) { render(data, start, count); });

    // The output is flagged silent only when every sample is zero.
    AudioBusBuffers& out = data.outputs[0];
    const int outputs = std::min<int>(out.numChannels, 2);
    bool silent = true;
    for (int ch = 0; ch < outputs && silent; ++ch)
        for (int i = 0; i < frames; ++i)
            if (out.channelBuffers32[ch][i] != 0.0f) {
                silent = false;
                break;
            }
    out.silenceFlags = silent ? (uint64{1} << outputs) - 1 : 0;
    return kResultOk;
}

uint32 Effect::getTailSamples() { return core_.tailFrames(); }

// ----------------------------------------------------------------- controller

void Effect::takeValuesFromCore() {
    for (int id = 0; id < kSlotIds; ++id)
        values_[static_cast<std::size_t>(id)].store(core_.parameter(slotOf(static_cast<ParamID>(id))));
    program_.store(core_.program());
    bypassShown_.store(bypass_.requested());
}

// The controller shows `program`: its values as saved, or as the
// controller set them since.
void Effect::loadProgramValues(int program) {
    program_.store(program);
    for (int id = 0; id < kSlotIds; ++id) {
        const std::uint64_t p = pending_[static_cast<std::size_t>(id)].load();
        const bool ours = p && static_cast<int>(p >> 32) - 1 == program;
        values_[static_cast<std::size_t>(id)].store(ours ? std::bit_cast<float>(static_cast<std::uint32_t>(p))
                                                         : core_.programValue(program, slotOf(static_cast<ParamID>(id))));
    }
}

// A value the controller got for parameter `slot` (an id): it belongs to the program that
// will be current when processing receives it, the one the controller
// chose last or else the one processing plays.
void Effect::markPending(int slot, float value) {
    const int chosen = pendingProgram_.load();
    const int program = chosen >= 0 ? chosen : core_.program();
    pending_[static_cast<std::size_t>(slot)].store(
        static_cast<std::uint64_t>(program + 1) << 32 | std::bit_cast<std::uint32_t>(value));
}

void Effect::clearPending() {
    for (auto& p : pending_) p.store(0);
    pendingProgram_.store(-1);
    pendingBypass_.store(-1);
}

tresult Effect::setComponentState(IBStream*) {
    // The component is this object: its state is already in force.
    takeValuesFromCore();
    return kResultOk;
}

// In the host's order: the named parameters, the program, the bypass, the
// synth's, then the hidden ones MIDI controllers drive.
int32 Effect::getParameterCount() { return kSlotIds + 2 + kMidiParameters; }

tresult Effect::getParameterInfo(int32 index, ParameterInfo& info) {
    if (index < 0 || index >= getParameterCount()) return kInvalidArgument;
    std::memset(&info, 0, sizeof info);
    info.unitId = kRootUnitId;
    if (index >= kSlotIds + 2) {
        static constexpr const char* kNames[] = {"Pitch Bend", "Sustain Pedal", "All Notes Off"};
        const int k = index - kSlotIds - 2;
        info.id = kBendParameter + static_cast<ParamID>(k);
        toUtf16(kNames[k], info.title, 128);
        toUtf16(kNames[k], info.shortTitle, 128);
        info.defaultNormalizedValue = k == 0 ? 0.5 : 0.0;
        info.flags = ParameterInfo::kIsHidden;
        return kResultOk;
    }
    if (index == kParameters + 1) {  // after the program
        info.id = kBypassParameter;
        toUtf16("Bypass", info.title, 128);
        toUtf16("Bypass", info.shortTitle, 128);
        info.stepCount = 1;
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
        return kResultOk;
    }
    if (index == kParameters) {
        info.id = kProgramParameter;
        toUtf16("Program", info.title, 128);
        toUtf16("Program", info.shortTitle, 128);
        info.stepCount = kLastProgram;
        info.defaultNormalizedValue = normalisedProgram(kLastProgram);
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList |
                     ParameterInfo::kIsProgramChange;
        return kResultOk;
    }
    if (index >= kParameters + 2) index -= 2;  // a synth parameter: id 9..16
    const int slot = slotOf(static_cast<ParamID>(index));
    const engine::ParameterInfo& p = engine::parameterInfo(slot);
    info.id = static_cast<ParamID>(index);
    toUtf16(p.name, info.title, 128);
    toUtf16(p.name, info.shortTitle, 128);
    // No units: the value texts carry them ("20Hz"), and hosts that print
    // both would show "20Hz Hz".
    info.stepCount = p.steps;
    info.defaultNormalizedValue = hostValue(slot, p.defaultValue);
    if (p.unit == engine::Unit::Choice || p.unit == engine::Unit::Note) info.flags |= ParameterInfo::kIsList;
    info.flags |= ParameterInfo::kCanAutomate;
    return kResultOk;
}

tresult Effect::getParamStringByValue(ParamID id, ParamValue value, String128 string) {
    if (!string) return kInvalidArgument;
    char text[EffectCore::kNameChars + 1];
    if (id == kBypassParameter)
        std::snprintf(text, sizeof text, "%s", value >= 0.5 ? "On" : "Off");
    else if (id == kProgramParameter)
        core_.copyProgramName(programOf(value), text, EffectCore::kNameChars);
    else if (isParameter(id))
        engine::writeValueText(slotOf(id), engineValue(slotOf(id), value), text, sizeof text);
    else if (isMidiParameter(id))
        std::snprintf(text, sizeof text, "%.3f", value);
    else
        return kInvalidArgument;
    toUtf16(text, string, 128);
    return kResultOk;
}

tresult Effect::getParamValueByString(ParamID id, char16* string, ParamValue& value) {
    char text[128];
    fromUtf16(string, text, sizeof text);
    if (id == kBypassParameter) {
        if (std::strcmp(text, "On") == 0 || std::strcmp(text, "1") == 0) value = 1.0;
        else if (std::strcmp(text, "Off") == 0 || std::strcmp(text, "0") == 0) value = 0.0;
        else return kResultFalse;
        return kResultOk;
    }
    if (id == kProgramParameter) {
        char name[EffectCore::kNameChars + 1];
        for (int p = 0; p < EffectCore::kPrograms; ++p) {
            core_.copyProgramName(p, name, EffectCore::kNameChars);
            if (std::strcmp(name, text) == 0) {
                value = normalisedProgram(p);
                return kResultOk;
            }
        }
        return kResultFalse;
    }
    if (!isParameter(id)) return kInvalidArgument;
    float v = 0.0f;
    if (!engine::parseValueText(slotOf(id), text, v)) return kResultFalse;
    value = hostValue(slotOf(id), v);
    return kResultOk;
}

ParamValue Effect::normalizedParamToPlain(ParamID id, ParamValue value) {
    if (id == kBypassParameter) return value >= 0.5 ? 1.0 : 0.0;
    if (id == kProgramParameter) return programOf(value);
    if (!isParameter(id)) return value;
    return engine::toUnits(slotOf(id), engineValue(slotOf(id), value));
}

ParamValue Effect::plainParamToNormalized(ParamID id, ParamValue plain) {
    if (id == kBypassParameter) return plain >= 0.5 ? 1.0 : 0.0;
    if (id == kProgramParameter)
        return normalisedProgram(std::clamp(static_cast<int>(std::floor(plain + 0.5)), 0, kLastProgram));
    if (!isParameter(id)) return plain;
    return hostValue(slotOf(id), engine::toNormalised(slotOf(id), plain));
}

ParamValue Effect::getParamNormalized(ParamID id) {
    if (id == kBypassParameter) return bypassShown_.load() ? 1.0 : 0.0;
    if (id == kProgramParameter) return normalisedProgram(program_.load());
    if (isMidiParameter(id)) return midiValues_[id - kBendParameter].load(std::memory_order_relaxed);
    if (!isParameter(id)) return 0.0;
    return hostValue(slotOf(id), values_[id].load());
}

tresult Effect::setParamNormalized(ParamID id, ParamValue value) {
    if (id == kBypassParameter) {
        const bool on = value >= 0.5;
        bypassShown_.store(on);
        pendingBypass_.store(on ? 1 : 0);
        return kResultOk;
    }
    if (id == kProgramParameter) {
        const int program = programOf(value);
        pendingProgram_.store(program);
        if (program == program_.load()) return kResultOk;
        loadProgramValues(program);
        if (handler_) handler_->restartComponent(kParamValuesChanged);
        return kResultOk;
    }
    if (isMidiParameter(id)) {
        midiValues_[id - kBendParameter].store(static_cast<float>(value), std::memory_order_relaxed);
        return kResultOk;
    }
    if (!isParameter(id)) return kInvalidArgument;
    const float v = engineValue(slotOf(id), value);
    values_[id].store(v);
    markPending(static_cast<int>(id), v);
    return kResultOk;
}

tresult Effect::setComponentHandler(IComponentHandler* handler) {
    if (handler == handler_) return kResultOk;
    if (handler) handler->addRef();
    if (handler_) handler_->release();
    handler_ = handler;
    return kResultOk;
}

IPlugView* Effect::createView(FIDString name) {
    if (!name || std::strcmp(name, "editor") != 0) return nullptr;
    return makeView(*this);
}

float Effect::controllerValue(int slot) const {
    return engine::isNamedSlot(slot) ? values_[idOf(slot)].load() : 0.0f;
}

// The editor's indices are the engine's slots.
void Effect::userBeginEdit(int index) {
    if (handler_ && engine::isNamedSlot(index)) handler_->beginEdit(idOf(index));
}

void Effect::userPerformEdit(int index, float value) {
    if (!engine::isNamedSlot(index)) return;
    const ParamID id = idOf(index);
    value = dsp::SpectralRingModulator::clampValue(value);
    values_[id].store(value);
    markPending(static_cast<int>(id), value);
    if (handler_) handler_->performEdit(id, hostValue(index, value));
}

void Effect::userEndEdit(int index) {
    if (handler_ && engine::isNamedSlot(index)) handler_->endEdit(idOf(index));
}

// ------------------------------------------------------------------ units

int32 Effect::getUnitCount() { return 1; }

tresult Effect::getUnitInfo(int32 index, UnitInfo& info) {
    if (index != 0) return kInvalidArgument;
    std::memset(&info, 0, sizeof info);
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    toUtf16(kClassName, info.name, 128);
    info.programListId = kProgramList;
    return kResultOk;
}

int32 Effect::getProgramListCount() { return 1; }

tresult Effect::getProgramListInfo(int32 index, ProgramListInfo& info) {
    if (index != 0) return kInvalidArgument;
    std::memset(&info, 0, sizeof info);
    info.id = kProgramList;
    toUtf16("Programs", info.name, 128);
    info.programCount = EffectCore::kPrograms;
    return kResultOk;
}

tresult Effect::getProgramName(ProgramListID list, int32 program, String128 name) {
    if (list != kProgramList || program < 0 || program >= EffectCore::kPrograms || !name)
        return kInvalidArgument;
    char text[EffectCore::kNameChars + 1];
    core_.copyProgramName(program, text, EffectCore::kNameChars);
    toUtf16(text, name, 128);
    return kResultOk;
}

tresult Effect::getProgramInfo(ProgramListID, int32, const char*, String128) { return kResultFalse; }
tresult Effect::hasProgramPitchNames(ProgramListID, int32) { return kResultFalse; }
tresult Effect::getProgramPitchName(ProgramListID, int32, int16, String128) { return kResultFalse; }
UnitID Effect::getSelectedUnit() { return kRootUnitId; }
tresult Effect::selectUnit(UnitID) { return kResultOk; }

tresult Effect::getUnitByBus(int32, int32, int32, int32, UnitID& unit) {
    unit = kRootUnitId;
    return kResultOk;
}

tresult Effect::setUnitProgramData(int32, int32, IBStream*) { return kNotImplemented; }

// ------------------------------------------------------------- MIDI mapping

tresult Effect::getMidiControllerAssignment(int32 busIndex, int16, CtrlNumber number, ParamID& id) {
    if (busIndex != 0) return kResultFalse;
    if (number == kPitchBend) id = kBendParameter;
    else if (number == kCtrlSustainOnOff) id = kSustainParameter;
    else if (number == kCtrlAllNotesOff) id = kAllNotesOffParameter;
    else return kResultFalse;
    return kResultOk;
}

}  // namespace halvorine::vst3
