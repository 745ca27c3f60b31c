// A small VST 3 host: loads the bundle's module, makes the effect through
// its factory, and drives it as hosts do, comparing every output bit with
// the VST 2 library fed the same signals, with the same changes between
// blocks cut where the VST 3 changes fall.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "dsp/ring_modulator.h"
#include "identity.h"
#include "interfaces.h"
#include "support/clicks.h"
#include "support/plugin_host.h"

#ifdef HALVORINE_VST3_X11
#include <poll.h>

#include <chrono>
#include <thread>

#include "x_host.h"
#endif

namespace halvorine::test {

#ifdef HALVORINE_VST3_COUNT_ALLOCATIONS
// The process's allocations, the module's included (alloc_count.cpp).
void countAllocations(bool on);
long allocationsCounted();
#else
inline void countAllocations(bool) {}
inline long allocationsCounted() { return 0; }
#endif

namespace {

using namespace halvorine::vst3;

// ------------------------------------------------------------ the module

// The build's module, or another (an installed one) named by HALVORINE_VST3.
const char* modulePath() {
    if (const char* env = std::getenv("HALVORINE_VST3")) return env;
    return HALVORINE_VST3_MODULE;
}

IPluginFactory* factory() {
    static IPluginFactory* const loaded = [] {
        using GetFactory = IPluginFactory*(HALVORINE_VST3_CALL*)();
        void* getFactory = nullptr;
        bool entered = false;
#if defined(_WIN32)
        using Init = bool (*)();
        HMODULE module = LoadLibraryA(modulePath());
        if (module) {
            auto init = reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(module, "InitDll")));
            entered = init && init();
            getFactory = reinterpret_cast<void*>(GetProcAddress(module, "GetPluginFactory"));
        }
#else
        using Entry = bool (*)(void*);
        void* module = dlopen(modulePath(), RTLD_NOW | RTLD_LOCAL);
        if (module) {
            auto entry = reinterpret_cast<Entry>(dlsym(module, "ModuleEntry"));
            entered = entry && entry(module);
            getFactory = dlsym(module, "GetPluginFactory");
        }
#endif
        if (!entered || !getFactory) return static_cast<IPluginFactory*>(nullptr);
        return reinterpret_cast<GetFactory>(getFactory)();
    }();
    return loaded;
}

// -------------------------------------------------------- the host's side

// Host objects live on the test's stack; their references are not counted.
#define HALVORINE_HOST_UNKNOWN(Interface)                                              \
    tresult HALVORINE_VST3_CALL queryInterface(const TUID wanted, void** obj) override { \
        *obj = FUnknown::iid.matches(wanted) || Interface::iid.matches(wanted) ? this : nullptr; \
        return *obj ? kResultOk : kNoInterface;                                         \
    }                                                                                   \
    uint32 HALVORINE_VST3_CALL addRef() override { return 1; }                          \
    uint32 HALVORINE_VST3_CALL release() override { return 1; }

// A host's stream attributes: "StateType" as hosts set it.
class Attributes final : public IStreamAttributes, public IAttributeList {
public:
    explicit Attributes(std::u16string type) : stateType(std::move(type)) {}
    tresult HALVORINE_VST3_CALL queryInterface(const TUID, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 HALVORINE_VST3_CALL addRef() override { return 1; }
    uint32 HALVORINE_VST3_CALL release() override { return 1; }
    tresult HALVORINE_VST3_CALL getFileName(String128) override { return kResultFalse; }
    IAttributeList* HALVORINE_VST3_CALL getAttributes() override { return this; }
    tresult HALVORINE_VST3_CALL setInt(AttrID, int64) override { return kResultFalse; }
    tresult HALVORINE_VST3_CALL getInt(AttrID, int64&) override { return kResultFalse; }
    tresult HALVORINE_VST3_CALL setFloat(AttrID, double) override { return kResultFalse; }
    tresult HALVORINE_VST3_CALL getFloat(AttrID, double&) override { return kResultFalse; }
    tresult HALVORINE_VST3_CALL setString(AttrID, const char16*) override { return kResultFalse; }
    tresult HALVORINE_VST3_CALL getString(AttrID id, char16* out, uint32 size) override {
        if (std::string_view(id) != "StateType" || size < 2 * (stateType.size() + 1)) return kResultFalse;
        std::memcpy(out, stateType.c_str(), 2 * (stateType.size() + 1));
        return kResultOk;
    }
    tresult HALVORINE_VST3_CALL setBinary(AttrID, const void*, uint32) override { return kResultFalse; }
    tresult HALVORINE_VST3_CALL getBinary(AttrID, const void*&, uint32&) override { return kResultFalse; }
    std::u16string stateType;
};

class Stream final : public IBStream {
public:
    tresult HALVORINE_VST3_CALL queryInterface(const TUID wanted, void** obj) override {
        *obj = nullptr;
        if (FUnknown::iid.matches(wanted) || IBStream::iid.matches(wanted))
            *obj = static_cast<IBStream*>(this);
        else if (attributes && IStreamAttributes::iid.matches(wanted))
            *obj = static_cast<IStreamAttributes*>(attributes);
        return *obj ? kResultOk : kNoInterface;
    }
    uint32 HALVORINE_VST3_CALL addRef() override { return 1; }
    uint32 HALVORINE_VST3_CALL release() override { return 1; }
    Attributes* attributes = nullptr;
    // `shortRead`: what a read that delivers fewer bytes than asked returns
    // (hosts differ).
    explicit Stream(std::vector<std::uint8_t> data = {}, tresult shortRead = kResultOk)
        : bytes(std::move(data)), shortResult(shortRead) {}
    tresult HALVORINE_VST3_CALL read(void* buffer, int32 n, int32* done) override {
        const auto count = std::min<std::size_t>(static_cast<std::size_t>(std::max(n, 0)), bytes.size() - at);
        if (count) std::memcpy(buffer, bytes.data() + at, count);
        at += count;
        if (done) *done = static_cast<int32>(count);
        return count < static_cast<std::size_t>(std::max(n, 0)) ? shortResult : kResultOk;
    }
    tresult HALVORINE_VST3_CALL write(void* buffer, int32 n, int32* done) override {
        const auto* p = static_cast<const std::uint8_t*>(buffer);
        bytes.insert(bytes.end(), p, p + n);
        if (done) *done = n;
        return kResultOk;
    }
    tresult HALVORINE_VST3_CALL seek(int64 pos, int32, int64* result) override {
        at = std::min<std::size_t>(static_cast<std::size_t>(pos), bytes.size());
        if (result) *result = static_cast<int64>(at);
        return kResultOk;
    }
    tresult HALVORINE_VST3_CALL tell(int64* pos) override {
        *pos = static_cast<int64>(at);
        return kResultOk;
    }
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    tresult shortResult;
};

struct Change {
    int offset;
    ParamID id;
    double value;
};

class Queue final : public IParamValueQueue {
public:
    HALVORINE_HOST_UNKNOWN(IParamValueQueue)
    explicit Queue(ParamID p) : id(p) {}
    ParamID HALVORINE_VST3_CALL getParameterId() override { return id; }
    int32 HALVORINE_VST3_CALL getPointCount() override { return static_cast<int32>(points.size()); }
    tresult HALVORINE_VST3_CALL getPoint(int32 i, int32& offset, ParamValue& value) override {
        if (i < 0 || i >= getPointCount()) return kInvalidArgument;
        offset = points[static_cast<std::size_t>(i)].first;
        value = points[static_cast<std::size_t>(i)].second;
        return kResultOk;
    }
    tresult HALVORINE_VST3_CALL addPoint(int32, ParamValue, int32&) override { return kResultFalse; }
    ParamID id;
    std::vector<std::pair<int32, double>> points;
};

// Notes on the event bus: (offset, pitch, velocity; 0 for a note-off).
class Events final : public IEventList {
public:
    HALVORINE_HOST_UNKNOWN(IEventList)
    int32 HALVORINE_VST3_CALL getEventCount() override { return static_cast<int32>(notes.size()); }
    tresult HALVORINE_VST3_CALL getEvent(int32 i, Event& e) override {
        if (i < 0 || i >= getEventCount()) return kInvalidArgument;
        const auto& [offset, pitch, velocity] = notes[static_cast<std::size_t>(i)];
        e = Event{};
        e.sampleOffset = offset;
        e.type = velocity > 0.0f ? Event::kNoteOnEvent : Event::kNoteOffEvent;
        if (velocity > 0.0f) {
            e.noteOn.pitch = static_cast<int16>(pitch);
            e.noteOn.velocity = velocity;
            e.noteOn.noteId = -1;
        } else {
            e.noteOff.pitch = static_cast<int16>(pitch);
            e.noteOff.noteId = -1;
        }
        return kResultOk;
    }
    tresult HALVORINE_VST3_CALL addEvent(Event&) override { return kResultFalse; }
    std::vector<std::tuple<int, int, float>> notes;
};

class Changes final : public IParameterChanges {
public:
    HALVORINE_HOST_UNKNOWN(IParameterChanges)
    explicit Changes(const std::vector<Change>& list) {
        queues.reserve(list.size());
        for (const Change& c : list) {
            auto q = std::find_if(queues.begin(), queues.end(), [&](const Queue& x) { return x.id == c.id; });
            if (q == queues.end()) q = queues.insert(queues.end(), Queue(c.id));
            q->points.emplace_back(c.offset, c.value);
        }
    }
    int32 HALVORINE_VST3_CALL getParameterCount() override { return static_cast<int32>(queues.size()); }
    IParamValueQueue* HALVORINE_VST3_CALL getParameterData(int32 i) override {
        return i >= 0 && i < getParameterCount() ? &queues[static_cast<std::size_t>(i)] : nullptr;
    }
    IParamValueQueue* HALVORINE_VST3_CALL addParameterData(const ParamID&, int32&) override { return nullptr; }
    std::vector<Queue> queues;
};

struct Edit {
    char kind;  // 'b'egin, 'p'erform, 'e'nd
    ParamID id;
    double value;
    bool operator==(const Edit&) const = default;
};

class Handler final : public IComponentHandler {
public:
    HALVORINE_HOST_UNKNOWN(IComponentHandler)
    tresult HALVORINE_VST3_CALL beginEdit(ParamID id) override { return record({'b', id, 0.0}); }
    tresult HALVORINE_VST3_CALL performEdit(ParamID id, ParamValue v) override { return record({'p', id, v}); }
    tresult HALVORINE_VST3_CALL endEdit(ParamID id) override { return record({'e', id, 0.0}); }
    tresult HALVORINE_VST3_CALL restartComponent(int32 flags) override {
        restarts.push_back(flags);
        return kResultOk;
    }
    tresult record(const Edit& e) {
        edits.push_back(e);
        return kResultOk;
    }
    std::vector<Edit> edits;
    std::vector<int32> restarts;
};

template <class T>
T* query(FUnknown* object) {
    void* p = nullptr;
    return object && object->queryInterface(T::iid.bytes, &p) == kResultOk ? static_cast<T*>(p) : nullptr;
}

std::string narrow(const char16* text) {
    std::string s;
    for (; *text; ++text) s += static_cast<char>(*text);
    return s;
}

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// ------------------------------------------------------------- instances

// The layout a host gives the buses. side 0: the sidechain is never
// activated; -1: arranged empty, yet activated and given buffers.
struct Layout {
    int main = 2, side = 0, out = 2;
};

// What a stepped parameter's host value means: step k of `steps` covers
// [k, k + 1) / (steps + 1), and step k plays the engine's value for k
// bands, (k + 0.5) / 63, or program k. The value the VST 2 library gets
// for the same sound.
int stepOf(double normalised, int steps) {
    if (!(normalised > 0.0)) return 0;
    return static_cast<int>(std::min<double>(steps, std::floor(normalised * (steps + 1))));
}
float engineValue(ParamID id, double normalised) {
    if (id == 6) return static_cast<float>(std::min(1.0, (stepOf(normalised, 63) + 0.5) / 63.0));
    return static_cast<float>(normalised);
}

SpeakerArrangement arrangement(int channels) {
    return channels == 1 ? speaker::kMono : speaker::kStereo;
}

class Plugin {
public:
    explicit Plugin(Layout layout = {}, double rate = 44100.0) : layout_(layout) {
        const Uid cid = makeUid(kClassIdWords[0], kClassIdWords[1], kClassIdWords[2], kClassIdWords[3]);
        void* p = nullptr;
        if (factory() && factory()->createInstance(cid.bytes, IComponent::iid.bytes, &p) == kResultOk)
            component = static_cast<IComponent*>(p);
        if (!component) return;
        component->initialize(nullptr);
        processor = query<IAudioProcessor>(component);
        controller = query<IEditController>(component);
        units = query<IUnitInfo>(component);
        if (!processor || !controller || !units) return;
        controller->setComponentHandler(&handler);
        SpeakerArrangement in[2] = {arrangement(layout.main),
                                    layout.side < 0 ? speaker::kEmpty : arrangement(layout.side ? layout.side : 2)};
        SpeakerArrangement out = arrangement(layout.out);
        arranged = processor->setBusArrangements(in, 2, &out, 1) == kResultTrue;
        if (layout.side) component->activateBus(kAudio, kInput, 1, 1);
        setup(rate);
    }
    ~Plugin() {
        if (processor) processor->release();
        if (units) units->release();
        if (controller) {
            controller->setComponentHandler(nullptr);
            controller->release();
        }
        if (component) {
            component->setActive(0);
            component->terminate();
            component->release();
        }
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    bool ok() const { return component && processor && controller && units && arranged; }

    void setup(double rate) {
        component->setActive(0);
        ProcessSetup s{kRealtime, kSample32, 4096, rate};
        processor->setupProcessing(s);
        component->setActive(1);
        processor->setProcessing(1);
    }

    // One process call. `main`, `side` and `out` hold each bus's channels;
    // in place when `out` points at the main input's buffers.
    uint64 process(std::vector<float*> main, std::vector<float*> side, std::vector<float*> out,
                   int frames, const std::vector<Change>& changes, uint64 mainSilence = 0,
                   IEventList* events = nullptr) {
        Changes list(changes);
        AudioBusBuffers in[2]{};
        in[0].numChannels = static_cast<int32>(main.size());
        in[0].silenceFlags = mainSilence;
        in[0].channelBuffers32 = main.data();
        in[1].numChannels = static_cast<int32>(side.size());
        in[1].channelBuffers32 = side.empty() ? nullptr : side.data();
        AudioBusBuffers output{};
        output.numChannels = static_cast<int32>(out.size());
        output.silenceFlags = 0xFF;  // left over: the plug-in must say
        output.channelBuffers32 = out.data();
        ProcessData d{};
        d.processMode = kRealtime;
        d.symbolicSampleSize = kSample32;
        d.numSamples = frames;
        d.numInputs = 2;
        d.numOutputs = 1;
        d.inputs = in;
        d.outputs = &output;
        d.inputParameterChanges = &list;
        d.inputEvents = events;
        countAllocations(true);
        const tresult result = processor->process(d);
        allocations += allocationsCounted();
        countAllocations(false);
        EXPECT_EQ(result, kResultOk);
        return output.silenceFlags;
    }

    // `type`: the "StateType" the host's stream carries; empty: none.
    std::vector<std::uint8_t> state(const std::u16string& type = {}) {
        Stream s;
        Attributes attributes(type);
        if (!type.empty()) s.attributes = &attributes;
        EXPECT_EQ(component->getState(&s), kResultOk);
        return s.bytes;
    }
    tresult load(const std::vector<std::uint8_t>& bytes, tresult shortRead = kResultOk) {
        Stream s(bytes, shortRead);
        return component->setState(&s);
    }

    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
    IUnitInfo* units = nullptr;
    Handler handler;
    bool arranged = false;
    long allocations = 0;  // made while processing

private:
    Layout layout_;
};

// The VST 2 library, the reference.
class Vst2 {
public:
    explicit Vst2(float rate = 44100.0f) {
        e = host.loadOrFail(PluginLibrary::entry());
        if (!e) return;
        host.dispatch(e, effSetSampleRate, 0, 0, nullptr, rate);
        host.dispatch(e, effSetBlockSize, 0, 4096);
        host.dispatch(e, effMainsChanged, 0, 1);
    }
    void apply(const Change& c) {
        if (c.id == 100)
            host.dispatch(e, effSetProgram, 0, stepOf(c.value, 7));
        else
            e->setParameter(e, static_cast<VstInt32>(c.id), engineValue(c.id, c.value));
    }
    // A block cut at its changes' offsets, each change made between pieces.
    void render(const float* mod, const float* car, float* out, int frames, std::vector<Change> changes) {
        std::stable_sort(changes.begin(), changes.end(),
                         [](const Change& a, const Change& b) { return a.offset < b.offset; });
        std::vector<float> spare(static_cast<std::size_t>(std::max(frames, 1)));
        int at = 0;
        for (const Change& c : changes) {
            const int cut = std::clamp(c.offset, at, frames);
            if (cut > at) processBlock(e, mod + at, car + at, out + at, spare.data(), cut - at);
            at = cut;
            apply(c);
        }
        if (frames > at) processBlock(e, mod + at, car + at, out + at, spare.data(), frames - at);
    }
    TestHost host;
    AEffect* e = nullptr;
};

// --------------------------------------------------------------- signals

// Integer noise and a few slow sines: the same bits on every target.
std::vector<float> signal(std::size_t n, std::uint32_t seed, double amplitude) {
    std::vector<float> v(n);
    std::uint32_t state = seed;
    for (std::size_t i = 0; i < n; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
        const double ramp = static_cast<double>((i * seed) % 200) / 200.0 - 0.5;
        v[i] = static_cast<float>(amplitude * (noise + ramp));
    }
    return v;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b, std::string* where) {
    if (a.size() != b.size()) {
        *where = "sizes differ";
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i)
        if (bitsOf(a[i]) != bitsOf(b[i])) {
            *where = "frame " + std::to_string(i) + ": " + std::to_string(a[i]) + " vs " + std::to_string(b[i]);
            return false;
        }
    return true;
}

// ----------------------------------------------------------- the renders

enum class Stereo { Copies, Distinct };

struct Block {
    int frames;
    std::vector<Change> changes;
};

struct RenderCase {
    const char* name;
    Layout layout;
    Stereo stereo;
    bool inPlace;
    double rate;
    std::vector<Block> blocks;
    bool mainFlaggedSilent;
};

const std::vector<Block> kPlainBlocks = {{512, {}}, {1000, {}}, {7, {}}, {1, {}}, {528, {}}};
// Changes at offsets, some sharing one, one beyond the block (after it),
// a program change, and a zero-frame call that only changes.
const std::vector<Block> kChangingBlocks = {
    {700, {{0, 8, 0.6}, {17, 6, 0.1}, {17, 0, 0.3}, {300, 7, 0.25}, {650, 4, 0.8}, {700, 2, 0.9}}},
    {0, {{0, 3, 0.4}, {0, 5, 0.05}}},
    {900, {{450, 100, 2.0 / 7.0}, {451, 7, 0.75}, {899, 1, 0.7}}},
    {448, {{1, 100, 1.0}, {200, 6, 1.0}, {200, 6, 0.0}}},
};

const RenderCase kRenderCases[] = {
    {"SidechainMono", {1, 1, 1}, Stereo::Copies, false, 44100, kPlainBlocks, false},
    {"SidechainStereoCopies", {2, 2, 2}, Stereo::Copies, false, 44100, kPlainBlocks, false},
    {"SidechainStereoMeans", {2, 2, 2}, Stereo::Distinct, false, 44100, kPlainBlocks, false},
    {"SidechainMonoMainStereoSide", {1, 2, 2}, Stereo::Distinct, false, 48000, kPlainBlocks, false},
    {"NeverActivatedVst2Layout", {2, 0, 2}, Stereo::Distinct, false, 44100, kPlainBlocks, false},
    {"NeverActivatedMonoMain", {1, 0, 1}, Stereo::Distinct, false, 44100, kPlainBlocks, false},
    {"EmptySidechainMonoMain", {1, -1, 1}, Stereo::Distinct, false, 44100, kPlainBlocks, false},
    {"EmptySidechainStereoMain", {2, -1, 2}, Stereo::Distinct, false, 44100, kPlainBlocks, false},
    {"InPlaceVst2Layout", {2, 0, 2}, Stereo::Distinct, true, 44100, kPlainBlocks, false},
    {"InPlaceSidechain", {2, 1, 2}, Stereo::Distinct, true, 96000, kPlainBlocks, false},
    {"ChangesAtOffsets", {2, 2, 2}, Stereo::Distinct, false, 44100, kChangingBlocks, false},
    {"ChangesAtOffsetsVst2Layout", {2, 0, 1}, Stereo::Distinct, true, 44100, kChangingBlocks, false},
    {"MainFlaggedSilent", {2, 2, 2}, Stereo::Distinct, false, 44100, kPlainBlocks, true},
};

void PrintTo(const RenderCase& c, std::ostream* os) { *os << c.name; }

class Render : public ::testing::TestWithParam<RenderCase> {};

TEST_P(Render, GivesTheVst2Bits) {
    const RenderCase& c = GetParam();
    std::size_t total = 0;
    for (const Block& b : c.blocks) total += static_cast<std::size_t>(b.frames);
    // The buses' channels, and what the engine must get from them.
    std::vector<float> mainL = signal(total, 11, 0.9), mainR = signal(total, 23, 0.7);
    std::vector<float> sideL = signal(total, 37, 0.8), sideR = signal(total, 41, 0.5);
    if (c.stereo == Stereo::Copies) mainR = mainL, sideR = sideL;
    const auto mean = [](const std::vector<float>& l, const std::vector<float>& r, int channels) {
        if (channels == 1) return l;
        std::vector<float> m(l.size());
        for (std::size_t i = 0; i < l.size(); ++i)
            m[i] = static_cast<float>((static_cast<double>(l[i]) + r[i]) / 2);
        return m;
    };
    std::vector<float> modulator, carrier;
    if (c.layout.side > 0) {
        modulator = mean(mainL, mainR, c.layout.main);
        carrier = mean(sideL, sideR, c.layout.side);
    } else {
        modulator = mainL;
        carrier = c.layout.main == 2 ? mainR : std::vector<float>(total, 0.0f);
    }
    if (c.mainFlaggedSilent) {
        modulator.assign(total, 0.0f);  // whatever the buffers hold
        if (c.layout.side <= 0) carrier.assign(total, 0.0f);
    }
    if (c.stereo == Stereo::Copies && c.layout.side) {
        ASSERT_EQ(modulator, mainL);
        ASSERT_EQ(carrier, sideL);
    }

    Vst2 reference(static_cast<float>(c.rate));
    ASSERT_NE(reference.e, nullptr);
    std::vector<float> expected(total);
    Plugin plugin(c.layout, c.rate);
    ASSERT_TRUE(plugin.ok());
    std::vector<float> out0(total, 0.25f), out1(total, 0.25f);
    std::size_t at = 0;
    for (const Block& b : c.blocks) {
        reference.render(modulator.data() + at, carrier.data() + at, expected.data() + at, b.frames, b.changes);
        std::vector<float*> main = {mainL.data() + at, mainR.data() + at};
        std::vector<float*> side = {sideL.data() + at, sideR.data() + at};
        main.resize(static_cast<std::size_t>(c.layout.main));
        if (c.layout.side > 0) side.resize(static_cast<std::size_t>(c.layout.side));
        std::vector<float*> out = c.inPlace ? main : std::vector<float*>{out0.data() + at, out1.data() + at};
        if (c.inPlace && c.layout.out == 2 && out.size() == 1) out.push_back(out1.data() + at);
        out.resize(static_cast<std::size_t>(c.layout.out));
        const uint64 flags = plugin.process(main, side, out, b.frames, b.changes, c.mainFlaggedSilent ? 3 : 0);
        bool silent = true;
        for (float* ch : out)
            for (int i = 0; i < b.frames; ++i) silent = silent && ch[i] == 0.0f;
        if (b.frames > 0) {
            EXPECT_EQ(flags, silent ? (uint64{1} << out.size()) - 1 : 0u) << "output silence flags";
        }
        if (c.inPlace) {
            std::copy_n(mainL.data() + at, b.frames, out0.data() + at);
            if (c.layout.out == 2) std::copy_n(out.back(), b.frames, out1.data() + at);
        }
        at += static_cast<std::size_t>(b.frames);
    }
    EXPECT_EQ(plugin.allocations, 0) << "the audio thread allocated";
    std::string where;
    EXPECT_TRUE(sameBits(out0, expected, &where)) << "first output, " << where;
    if (c.layout.out == 2) {
        EXPECT_TRUE(sameBits(out1, expected, &where)) << "second output, " << where;
    }
}

std::string caseName(const ::testing::TestParamInfo<RenderCase>& c) { return c.param.name; }
INSTANTIATE_TEST_SUITE_P(Vst3, Render, ::testing::ValuesIn(kRenderCases), caseName);

// The renders of two instances, fed the same after `prepare` ran on each.
std::vector<float> renderAfter(Plugin& p, int frames = 1500) {
    std::vector<float> l = signal(static_cast<std::size_t>(frames), 5, 0.9);
    std::vector<float> r = signal(static_cast<std::size_t>(frames), 9, 0.9);
    std::vector<float> o0(l.size()), o1(l.size());
    p.process({l.data(), r.data()}, {}, {o0.data(), o1.data()}, frames, {});
    return o0;
}

// ------------------------------------------------------------------ state

TEST(Vst3State, RoundTripsAndRefusesBadBytesUntouched) {
    Plugin a;
    ASSERT_TRUE(a.ok());
    a.process({}, {}, {}, 0, {{0, 100, 3.0 / 7.0}, {0, 2, 0.1}, {0, 8, 0.9}, {0, 6, 0.2}});
    const std::vector<std::uint8_t> saved = a.state();
    ASSERT_FALSE(saved.empty());

    Plugin b;
    ASSERT_EQ(b.load(saved), kResultOk);
    EXPECT_EQ(b.state(), saved);
    // Some hosts' streams answer the last, short read with kResultFalse.
    Plugin shortFalse;
    ASSERT_EQ(shortFalse.load(saved, kResultFalse), kResultOk);
    EXPECT_EQ(shortFalse.state(), saved);
    EXPECT_EQ(b.controller->getParamNormalized(2), static_cast<double>(0.1f)) << "the controller follows";
    EXPECT_EQ(b.controller->getParamNormalized(100), 3.0 / 7.0);
    std::string where;
    EXPECT_TRUE(sameBits(renderAfter(b), renderAfter(a), &where)) << where;

    // Bad bytes: refused, and the sound stays as it was.
    std::vector<std::vector<std::uint8_t>> bad = {{}, {saved.begin(), saved.end() - 1}, {1, 2, 3}};
    std::vector<std::uint8_t> garbage(saved.size());
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 97 + 13);
    bad.push_back(garbage);
    for (std::size_t i = 0; i < 8 && i < saved.size(); ++i) {  // magic and version
        auto v = saved;
        v[i] ^= 0x5A;
        bad.push_back(v);
    }
    // Randomly damaged copies: whatever is refused leaves the state alone.
    std::uint32_t seed = 1;
    std::vector<std::vector<std::uint8_t>> fuzzed;
    for (int n = 0; n < 400; ++n) {
        auto v = saved;
        for (int k = 0; k < 1 + n % 4; ++k) {
            seed = seed * 1664525u + 1013904223u;
            v[(seed >> 8) % v.size()] = static_cast<std::uint8_t>(seed >> 24);
        }
        if (n % 7 == 0) v.resize((seed >> 4) % (v.size() + 1));
        fuzzed.push_back(v);
    }
    Plugin c, untouched;
    ASSERT_TRUE(c.ok() && untouched.ok());
    const auto before = c.state();
    for (const auto& v : bad)
        for (tresult shortRead : {kResultOk, kResultFalse}) {
            EXPECT_NE(c.load(v, shortRead), kResultOk) << v.size() << " bytes";
            EXPECT_EQ(c.state(), before);
        }
    for (const auto& v : fuzzed) {
        if (c.load(v) != kResultOk) {
            ASSERT_EQ(c.state(), before);
        } else {
            ASSERT_EQ(c.load(before), kResultOk);
        }
    }
    EXPECT_TRUE(sameBits(renderAfter(c), renderAfter(untouched), &where)) << where;
}

// A preset holds one sound: a host saving a preset ("StateType" "Default")
// gets the current program alone, which loads into whichever program is
// current, leaving the other seven; a project (or a host that says
// nothing) keeps the whole bank. The factory's .vstpreset files load the
// same way.
TEST(Vst3State, PresetsHoldOneProgramAndProjectsTheBank) {
    Plugin a, b;
    ASSERT_TRUE(a.ok() && b.ok());
    a.process({}, {}, {}, 0, {{0, 100, 2.0 / 7.0}, {0, 0, 0.3}, {0, 7, 0.8}});
    const auto preset = a.state(u"Default");
    ASSERT_EQ(preset.size(), 148u);
    EXPECT_EQ(std::memcmp(preset.data(), "HLVP", 4), 0);
    EXPECT_EQ(a.state(u"Project"), a.state());
    EXPECT_EQ(a.state().size(), 1136u);

    b.process({}, {}, {}, 0, {{0, 100, 5.0 / 7.0}});
    const auto before = b.state();
    ASSERT_EQ(b.load(preset), kResultOk);
    EXPECT_EQ(b.controller->getParamNormalized(100), 5.0 / 7.0);
    EXPECT_EQ(b.controller->getParamNormalized(0), static_cast<double>(0.3f));
    EXPECT_EQ(b.controller->getParamNormalized(7), static_cast<double>(0.8f));
    const auto after = b.state();
    // Only program 5's record (name and values) changed.
    const std::size_t record = 64 + 4 * 19, program5 = 12 + 5 * record;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i < program5 || i >= program5 + record) {
            ASSERT_EQ(after[i], before[i]) << i;
        }
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(after.data() + program5)), "Preset 2");
    std::string where;
    EXPECT_TRUE(sameBits(renderAfter(b), renderAfter(a), &where)) << where;
    b.process({}, {}, {}, 0, {{0, 101, 1.0}});
    ASSERT_EQ(b.load(preset), kResultOk);
    EXPECT_EQ(b.state()[1132], 1) << "the bypass stays";

#ifdef HALVORINE_PRESET_FILES_DIR
    for (const char* name : {"Band Vocoder", "Scatter"}) {
        std::ifstream file(std::string(HALVORINE_PRESET_FILES_DIR) + "/vst3/" + name + ".vstpreset",
                           std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        ASSERT_GT(bytes.size(), 48u) << name;
        auto le = [&](std::size_t at, int n) {
            std::uint64_t v = 0;
            for (int i = n - 1; i >= 0; --i) v = v << 8 | bytes.at(at + static_cast<std::size_t>(i));
            return v;
        };
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "VST3");
        EXPECT_EQ(le(4, 4), 1u);
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 40), "D1AAEF93CCB14B279F3F76818C9C2932");
        const std::size_t list = le(40, 8);
        ASSERT_EQ(std::string(bytes.begin() + static_cast<long>(list), bytes.begin() + static_cast<long>(list) + 4), "List");
        std::vector<std::uint8_t> comp;
        std::string info;
        for (std::size_t k = 0, n = le(list + 4, 4); k < n; ++k) {
            const std::size_t entry = list + 8 + 20 * k, at = le(entry + 4, 8), size = le(entry + 12, 8);
            const std::string id(bytes.begin() + static_cast<long>(entry), bytes.begin() + static_cast<long>(entry) + 4);
            ASSERT_LE(at + size, list) << name;
            if (id == "Comp") comp.assign(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + size));
            if (id == "Info") info.assign(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + size));
        }
        EXPECT_NE(info.find("id=\"Name\" value=\"" + std::string(name) + "\""), std::string::npos) << info;
        ASSERT_EQ(b.load(comp), kResultOk) << name;
        EXPECT_EQ(b.controller->getParamNormalized(100), 5.0 / 7.0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.state().data() + program5)), name);
    }
#endif
}

// The saved state holds the last value the host gave each parameter, on
// either side: Ardour sets a value on the controller and saves before its
// next process call delivers it. Steps: 'c' the controller's
// setParamNormalized, 'p' a zero-frame process call, 'l' loading a fresh
// instance's state.
TEST(Vst3State, HoldsTheHostsLatestValueFromEitherSide) {
    struct Step {
        char via;
        ParamID id;
        double value;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::pair<ParamID, double>> expected;  // read back after loading the state
    } cases[] = {
        {"controller only", {{'c', 100, 3.0 / 7}, {'c', 2, 0.25}, {'c', 8, 0.875}, {'c', 6, 10.0 / 63}},
         {{100, 3.0 / 7}, {2, 0.25}, {8, 0.875}, {6, 10.0 / 63}, {0, 0.0}}},
        {"process after the controller", {{'c', 2, 0.25}, {'p', 2, 0.5}, {'c', 3, 0.125}},
         {{2, 0.5}, {3, 0.125}}},
        {"controller after process", {{'p', 2, 0.5}, {'c', 2, 0.25}}, {{2, 0.25}}},
        {"program on the controller after process", {{'p', 100, 1.0 / 7}, {'c', 100, 5.0 / 7}, {'c', 2, 0.25}},
         {{100, 5.0 / 7}, {2, 0.25}}},
        {"program through process after the controller", {{'c', 100, 5.0 / 7}, {'p', 100, 1.0 / 7}},
         {{100, 1.0 / 7}}},
        {"loading a state", {{'c', 2, 0.25}, {'c', 100, 0.0}, {'l', 0, 0.0}}, {{2, 0.5}, {100, 1.0}}},
    };
    Plugin fresh;
    ASSERT_TRUE(fresh.ok());
    const auto defaults = fresh.state();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Plugin a;
        ASSERT_TRUE(a.ok());
        for (const Step& step : c.steps) {
            if (step.via == 'c') {
                ASSERT_EQ(a.controller->setParamNormalized(step.id, step.value), kResultOk);
            } else if (step.via == 'p') {
                a.process({}, {}, {}, 0, {{0, step.id, step.value}});
            } else {
                ASSERT_EQ(a.load(defaults), kResultOk);
            }
        }
        Plugin b;
        ASSERT_EQ(b.load(a.state()), kResultOk);
        for (const auto& [id, value] : c.expected)
            EXPECT_EQ(b.controller->getParamNormalized(id), value) << "parameter " << id;
    }
}

// While the audio thread processes, the host's other thread reads and writes
// the controller and the state (ThreadSanitizer watches this one).
TEST(Vst3State, LoadsAndSavesWhileProcessing) {
    Plugin p({2, 2, 2});
    ASSERT_TRUE(p.ok());
    const auto saved = p.state();
    std::vector<float> l = signal(256, 3, 0.5), r = signal(256, 7, 0.5), o0(256), o1(256);
    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int block = 0; block < 300; ++block)
            p.process({l.data(), r.data()}, {r.data(), l.data()}, {o0.data(), o1.data()}, 256,
                      {{block % 256, static_cast<ParamID>(block % 9), (block % 10) / 10.0},
                       {0, 100, (block % 8) / 7.0}});
        done = true;
    });
    String128 text{};
    for (int i = 0; !done; ++i) {
        EXPECT_EQ(p.load(saved), kResultOk);
        p.controller->setParamNormalized(static_cast<ParamID>(i % 9), 0.3);
        p.controller->getParamStringByValue(static_cast<ParamID>(i % 9), p.controller->getParamNormalized(i % 9), text);
        p.units->getProgramName(1, i % 8, text);
        (void)p.state();
    }
    audio.join();
}

// -------------------------------------------- parameters, programs, texts

TEST(Vst3Controller, ParametersProgramsAndTextsAreTheVst2Ones) {
    Plugin p;
    ASSERT_TRUE(p.ok());
    Vst2 v;
    ASSERT_NE(v.e, nullptr);
    ASSERT_EQ(p.controller->getParameterCount(), 22);
    for (int32 i = 0; i < 9; ++i) {
        ParameterInfo info{};
        ASSERT_EQ(p.controller->getParameterInfo(i, info), kResultOk);
        EXPECT_EQ(info.id, static_cast<ParamID>(i));
        EXPECT_EQ(narrow(info.title), v.host.text(v.e, effGetParamName, i));
        EXPECT_EQ(info.stepCount, i == 6 ? 63 : 0);
        EXPECT_EQ(engineValue(info.id, info.defaultNormalizedValue), v.e->getParameter(v.e, i)) << i;
        EXPECT_EQ(info.units[0], 0) << i << ": the value texts carry the unit";
        EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate);
        for (double value : {0.0, 0.1, 0.25, 0.5, 0.731, 0.999, 1.0}) {
            v.e->setParameter(v.e, i, engineValue(info.id, value));
            String128 text{};
            ASSERT_EQ(p.controller->getParamStringByValue(static_cast<ParamID>(i), value, text), kResultOk);
            EXPECT_EQ(narrow(text), v.host.text(v.e, effGetParamDisplay, i)) << i << " at " << value;
        }
        for (const char* typed : {"1.2 kHz", "640", "12.3%", "19 bands", "50%/100", "+6dB", "-20dB", "0.5", "x"}) {
            std::u16string w = wide(typed);
            ParamValue got = -1.0;
            const bool read = p.controller->getParamValueByString(static_cast<ParamID>(i), w.data(), got) == kResultOk;
            v.e->setParameter(v.e, i, 0.123f);
            char copy[64];
            std::snprintf(copy, sizeof copy, "%s", typed);
            const bool vst2Read = v.host.dispatch(v.e, effString2Parameter, i, 0, copy) != 0;
            EXPECT_EQ(read, vst2Read) << i << " '" << typed << "'";
            if (read && vst2Read) {
                EXPECT_EQ(engineValue(info.id, got), v.e->getParameter(v.e, i)) << i << " '" << typed << "'";
            }
        }
    }
    ParameterInfo program{};
    ASSERT_EQ(p.controller->getParameterInfo(9, program), kResultOk);
    EXPECT_EQ(program.id, 100u);
    EXPECT_EQ(program.stepCount, 7);
    EXPECT_TRUE(program.flags & ParameterInfo::kIsProgramChange);
    EXPECT_EQ(program.unitId, kRootUnitId);
    ParameterInfo bypass{};
    ASSERT_EQ(p.controller->getParameterInfo(10, bypass), kResultOk);
    EXPECT_EQ(bypass.id, 101u);
    EXPECT_EQ(bypass.stepCount, 1);
    EXPECT_EQ(bypass.defaultNormalizedValue, 0.0);
    EXPECT_EQ(bypass.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass);
    // Then the carrier synth, ids 9..16, in steps where it has them, and
    // the hidden three that MIDI controllers drive.
    const struct {
        const char* name;
        int32 steps;
        double value;
        const char* text;
    } synth[] = {{"Carrier", 1, 1.0, "Synth"},         {"Synth Wave", 2, 0.5, "Square"},
                 {"Synth Noise", 0, 0.5, "50%"},        {"Synth Detune", 0, 0.2, "10 cents"},
                 {"Synth Octave", 4, 0.25, "-1"},       {"Synth Attack", 0, 1.0, "1 s"},
                 {"Synth Release", 0, 0.0, "5 ms"},     {"Drone", 97, 46.0 / 97, "A3"}};
    for (int32 k = 0; k < 8; ++k) {
        ParameterInfo info{};
        ASSERT_EQ(p.controller->getParameterInfo(11 + k, info), kResultOk);
        EXPECT_EQ(info.id, static_cast<ParamID>(9 + k));
        EXPECT_EQ(narrow(info.title), synth[k].name);
        EXPECT_EQ(info.stepCount, synth[k].steps);
        EXPECT_TRUE(info.flags & ParameterInfo::kCanAutomate);
        String128 text{};
        ASSERT_EQ(p.controller->getParamStringByValue(info.id, synth[k].value, text), kResultOk);
        EXPECT_EQ(narrow(text), synth[k].text);
        ParamValue read = -1.0;
        ASSERT_EQ(p.controller->getParamValueByString(info.id, text, read), kResultOk);
        EXPECT_NEAR(read, synth[k].value, 1e-6) << synth[k].name;
    }
    for (int32 k = 0; k < 3; ++k) {
        ParameterInfo info{};
        ASSERT_EQ(p.controller->getParameterInfo(19 + k, info), kResultOk);
        EXPECT_EQ(info.id, static_cast<ParamID>(200 + k));
        EXPECT_TRUE(info.flags & ParameterInfo::kIsHidden);
    }
    ASSERT_EQ(p.controller->getParameterInfo(22, program), kInvalidArgument);

    // The program list hosts show, through the root unit.
    UnitInfo unit{};
    ASSERT_EQ(p.units->getUnitCount(), 1);
    ASSERT_EQ(p.units->getUnitInfo(0, unit), kResultOk);
    ProgramListInfo list{};
    ASSERT_EQ(p.units->getProgramListInfo(0, list), kResultOk);
    EXPECT_EQ(list.id, unit.programListId);
    ASSERT_EQ(list.programCount, 8);
    for (int32 i = 0; i < 8; ++i) {
        String128 name{};
        ASSERT_EQ(p.units->getProgramName(list.id, i, name), kResultOk);
        EXPECT_EQ(narrow(name), "Preset " + std::to_string(i));
        ASSERT_EQ(p.controller->getParamStringByValue(100, i / 7.0, name), kResultOk);
        EXPECT_EQ(narrow(name), "Preset " + std::to_string(i));
    }
    EXPECT_EQ(program.defaultNormalizedValue, 1.0);
    // Selecting a program on the controller shows its values and tells the host.
    p.controller->setParamNormalized(3, 0.9);
    ASSERT_EQ(p.controller->setParamNormalized(100, 0.0), kResultOk);
    EXPECT_EQ(p.controller->getParamNormalized(3), 0.0);
    EXPECT_EQ(p.handler.restarts, std::vector<int32>{kParamValuesChanged});
}

// Bypassed by the host at a sample inside a block: the stereo main input
// comes out unchanged once the 10 ms fade is over, while the effect runs on
// behind it (switched back, the sound is an unbypassed instance's); the
// state carries the switch, and a state loaded before activation bypasses
// from the first frame.
// Notes on the event bus and the controllers the host maps (bend, pedal,
// all notes off) play the synth each at its sample, across blocks cut
// anywhere: the same bits as the engine given them in one block.
TEST(Vst3Notes, PlayTheSynthAtTheirSamples) {
    Plugin p;
    ASSERT_TRUE(p.ok());
    auto* mapping = query<IMidiMapping>(p.component);
    ASSERT_NE(mapping, nullptr);
    const struct {
        CtrlNumber number;
        ParamID id;
    } mapped[] = {{kPitchBend, 200}, {kCtrlSustainOnOff, 201}, {kCtrlAllNotesOff, 202}};
    for (const auto& m : mapped) {
        ParamID id = 0;
        ASSERT_EQ(mapping->getMidiControllerAssignment(0, 0, m.number, id), kResultOk);
        EXPECT_EQ(id, m.id);
    }
    ParamID none = 0;
    EXPECT_NE(mapping->getMidiControllerAssignment(0, 0, 7, none), kResultOk) << "volume is not ours";
    mapping->release();

    const std::vector<std::tuple<int, int, float>> notes = {
        {10, 60, 0.8f}, {353, 64, 0.5f}, {700, 60, 0.0f}, {800, 67, 1.0f}, {820, 67, 0.0f}, {950, 72, 0.7f}};
    const std::vector<Change> changes = {{0, 9, 1.0}, {0, 7, 1.0}, {354, 200, 0.8}, {710, 201, 1.0}, {900, 202, 0.0}};
    constexpr int kCuts[] = {256, 97, 1, 400, 646}, kLength = 1400;
    std::vector<float> silence(kLength), left(kLength), right(kLength);
    int at = 0;
    for (int frames : kCuts) {
        Events events;
        std::vector<Change> mine;
        for (const auto& [offset, pitch, velocity] : notes)
            if (offset >= at && offset < at + frames) events.notes.emplace_back(offset - at, pitch, velocity);
        for (const Change& c : changes)
            if (c.offset >= at && c.offset < at + frames) mine.push_back({c.offset - at, c.id, c.value});
        p.process({silence.data() + at, silence.data() + at}, {}, {left.data() + at, right.data() + at}, frames, mine,
                  0, &events);
        at += frames;
    }
    EXPECT_EQ(p.allocations, 0);

    dsp::SpectralRingModulator engine;
    engine.setDesignRate(44100.0f);
    engine.setParameter(11, 1.0f);
    engine.setParameter(7, 1.0f);
    std::vector<dsp::NoteEvent> expected;
    using K = dsp::NoteEvent;
    for (const auto& [offset, pitch, velocity] : notes)
        expected.push_back({offset, velocity > 0.0f ? K::On : K::Off, static_cast<std::int16_t>(pitch), velocity});
    expected.push_back({354, K::Bend, 0, static_cast<float>(2.0 * 0.8 - 1.0)});
    expected.push_back({710, K::Sustain, 0, 1.0f});
    expected.push_back({900, K::AllOff, 0, 0.0f});
    std::stable_sort(expected.begin(), expected.end(), [](const K& a, const K& b) { return a.frame < b.frame; });
    std::vector<float> out(kLength);
    const float* in[2] = {silence.data(), silence.data()};
    float* o[2] = {out.data(), out.data()};
    engine.process(in, o, kLength, false, expected.data(), static_cast<int>(expected.size()));
    EXPECT_GT(*std::max_element(out.begin(), out.end()), 0.1f);
    for (int i = 0; i < kLength; ++i) {
        ASSERT_EQ(bitsOf(left[static_cast<std::size_t>(i)]), bitsOf(out[static_cast<std::size_t>(i)])) << i;
        ASSERT_EQ(bitsOf(right[static_cast<std::size_t>(i)]), bitsOf(out[static_cast<std::size_t>(i)])) << i;
    }
}

TEST(Vst3Bypass, PassesTheMainInputFadesBackAndIsSaved) {
    constexpr int kFrames = 2048, kAt = 100, kFade = 441;  // 10 ms at 44.1 kHz
    auto l = signal(kFrames, 31, 0.4), r = signal(kFrames, 32, 0.3);
    const auto dryL = l, dryR = r;
    std::vector<float> outL(kFrames), outR(kFrames), plainL(kFrames), plainR(kFrames);
    Plugin p, plain;
    ASSERT_TRUE(p.ok() && plain.ok());
    p.process({l.data(), r.data()}, {}, {outL.data(), outR.data()}, kFrames, {{kAt, 101, 1.0}});
    plain.process({l.data(), r.data()}, {}, {plainL.data(), plainR.data()}, kFrames, {});
    EXPECT_TRUE(std::equal(outL.begin(), outL.begin() + kAt, plainL.begin()));
    EXPECT_NE(outL[kAt + kFade / 2], dryL[kAt + kFade / 2]);
    EXPECT_TRUE(std::equal(outL.begin() + kAt + kFade, outL.end(), dryL.begin() + kAt + kFade));
    EXPECT_TRUE(std::equal(outR.begin() + kAt + kFade, outR.end(), dryR.begin() + kAt + kFade));
    EXPECT_EQ(p.controller->getParamNormalized(101), 1.0);

    Plugin restored;
    ASSERT_TRUE(restored.ok());
    restored.component->setActive(0);
    ASSERT_EQ(restored.load(p.state()), kResultOk);
    restored.component->setActive(1);
    EXPECT_EQ(restored.controller->getParamNormalized(101), 1.0);
    restored.process({l.data(), r.data()}, {}, {plainL.data(), plainR.data()}, kFrames, {});
    EXPECT_EQ(plainL, dryL) << "bypassed from the first frame";

    p.process({l.data(), r.data()}, {}, {outL.data(), outR.data()}, kFrames, {{0, 101, 0.0}});
    plain.process({l.data(), r.data()}, {}, {plainL.data(), plainR.data()}, kFrames, {});
    EXPECT_TRUE(std::equal(outL.begin() + kFade, outL.end(), plainL.begin() + kFade)) << "the effect ran on";
    EXPECT_EQ(p.allocations, 0);
}

// A step of the mix, the boost or the shift at a sample inside a block
// glides from that sample: no click.
class Vst3SteppedChange : public ::testing::TestWithParam<Step> {};

TEST_P(Vst3SteppedChange, DoesNotClick) {
    const Step& step = GetParam();
    constexpr double kRate = 44100.0;
    constexpr long kFrames = 88200, kStepAt = 44137;  // inside the block at 44032
    // The host's values: the shift as its step, the others as they are.
    const auto host = [&](float v) { return step.slot == 6 ? std::floor(v * 63.0) / 63.0 : double(v); };
    std::vector<float> mod, car, out(kFrames), right(kFrames);
    lowTones(mod, car, kFrames, kRate);
    Plugin p;
    ASSERT_TRUE(p.ok());
    for (long at = 0; at < kFrames; at += 512) {
        const int n = static_cast<int>(std::min(512L, kFrames - at));
        std::vector<Change> changes;
        if (at == 0)
            changes = {{0, 6, 0.0}, {0, 8, step.boost}, {0, static_cast<ParamID>(step.slot), host(step.from)}};
        if (kStepAt >= at && kStepAt < at + n)
            changes.push_back({static_cast<int>(kStepAt - at), static_cast<ParamID>(step.slot), host(step.to)});
        p.process({mod.data() + at, car.data() + at}, {}, {out.data() + at, right.data() + at}, n, changes);
    }
    EXPECT_LE(clickRatio(out, kStepAt, kRate), 2.0);
}

INSTANTIATE_TEST_SUITE_P(Vst3, Vst3SteppedChange, ::testing::ValuesIn(kSteps),
                         [](const auto& test) { return std::string(test.param.name); });

// The shift (63 steps) and the program (7) as hosts step them: step k
// covers [k, k + 1) / (steps + 1) and is shown at k / steps. Every step the
// host sets plays k bands (the VST 2 library, given the saved value, shows
// "k") or program k, and reads back, converts and shows as k. The default
// lies on a step.
TEST(Vst3Controller, SteppedParametersFollowTheStepGrid) {
    Plugin p;
    ASSERT_TRUE(p.ok());
    Vst2 v;
    ASSERT_NE(v.e, nullptr);
    ParameterInfo shift{};
    ASSERT_EQ(p.controller->getParameterInfo(6, shift), kResultOk);
    EXPECT_EQ(shift.defaultNormalizedValue, 31.0 / 63);
    constexpr std::size_t kHeader = 12, kProgramBytes = 64 + 19 * 4;
    for (const auto& [id, steps] : {std::pair<ParamID, int>{6, 63}, {100, 7}}) {
        for (int k = 0; k <= steps; ++k) {
            const double top = k == steps ? 1.0 : std::nextafter(double(k + 1) / (steps + 1), 0.0);
            EXPECT_EQ(p.controller->plainParamToNormalized(id, k), double(k) / steps) << id << " " << k;
            for (double x : {double(k) / (steps + 1), double(k) / steps, top}) {
                SCOPED_TRACE(std::to_string(id) + " at " + std::to_string(x) + ", step " + std::to_string(k));
                EXPECT_EQ(p.controller->normalizedParamToPlain(id, x), k);
                String128 text{};
                ASSERT_EQ(p.controller->getParamStringByValue(id, x, text), kResultOk);
                EXPECT_EQ(narrow(text), id == 6 ? std::to_string(k) : "Preset " + std::to_string(k));
                ParamValue read = -1.0;
                ASSERT_EQ(p.controller->getParamValueByString(id, text, read), kResultOk);
                EXPECT_EQ(read, double(k) / steps);
                ASSERT_EQ(p.controller->setParamNormalized(id, x), kResultOk);
                EXPECT_EQ(p.controller->getParamNormalized(id), double(k) / steps);

                p.process({}, {}, {}, 0, {{0, id, x}});
                const auto state = p.state();
                ASSERT_EQ(state.size(), kHeader + 8 * kProgramBytes + 4);  // and the bypass
                const int current = state[8];
                if (id == 100) {
                    EXPECT_EQ(current, k);
                } else {
                    float played;
                    std::memcpy(&played, &state[kHeader + current * kProgramBytes + 64 + 6 * 4], 4);
                    v.e->setParameter(v.e, 6, played);
                    EXPECT_EQ(v.host.text(v.e, effGetParamDisplay, 6), std::to_string(k));
                }
            }
        }
    }
}

// ------------------------------------------------ the module and the buses

TEST(Vst3Module, FactoryBusesAndProcessingRules) {
    ASSERT_NE(factory(), nullptr);
    PFactoryInfo info{};
    ASSERT_EQ(factory()->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Brindlex");
    ASSERT_EQ(factory()->countClasses(), 1);
    auto* f2 = query<IPluginFactory2>(factory());
    ASSERT_NE(f2, nullptr);
    PClassInfo2 c{};
    ASSERT_EQ(f2->getClassInfo2(0, &c), kResultOk);
    EXPECT_STREQ(c.name, "Halvorine");
    EXPECT_STREQ(c.category, "Audio Module Class");
    EXPECT_STREQ(c.subCategories, "Fx|Modulation");
    EXPECT_STREQ(c.vendor, "Brindlex");
    EXPECT_EQ(std::memcmp(c.cid, makeUid(0xD1AAEF93, 0xCCB14B27, 0x9F3F7681, 0x8C9C2932).bytes, 16), 0)
        << "saved projects name this class id";

    Plugin p;
    ASSERT_TRUE(p.ok());
    ASSERT_EQ(p.component->getBusCount(kAudio, kInput), 2);
    BusInfo bus{};
    ASSERT_EQ(p.component->getBusInfo(kAudio, kInput, 0, bus), kResultOk);
    EXPECT_EQ(narrow(bus.name), "Modulator");
    EXPECT_EQ(bus.busType, kMain);
    ASSERT_EQ(p.component->getBusInfo(kAudio, kInput, 1, bus), kResultOk);
    EXPECT_EQ(narrow(bus.name), "Carrier");
    EXPECT_EQ(bus.busType, kAux);
    EXPECT_EQ(bus.flags & BusInfo::kDefaultActive, 0u) << "hosts activate the sidechain when they route one";
    ASSERT_EQ(p.component->getBusCount(kEvent, kInput), 1);
    ASSERT_EQ(p.component->getBusInfo(kEvent, kInput, 0, bus), kResultOk);
    EXPECT_EQ(bus.mediaType, kEvent);
    EXPECT_EQ(narrow(bus.name), "Notes");
    EXPECT_EQ(bus.busType, kAux) << "a main event bus makes some hosts lay the audio buses out anew";
    EXPECT_EQ(p.component->getBusCount(kEvent, kOutput), 0);

    struct Arrangement {
        std::vector<SpeakerArrangement> in, out;
        bool accepted;
    };
    // An empty sidechain (kEmpty) is no sidechain; the main buses need channels.
    const SpeakerArrangement m = speaker::kMono, s = speaker::kStereo, surround = 0x3F, none = speaker::kEmpty;
    const Arrangement arrangements[] = {
        {{m, m}, {m}, true},       {{s, s}, {s}, true},         {{m, s}, {s}, true},
        {{s, m}, {m}, true},       {{surround, s}, {s}, false}, {{s, surround}, {s}, false},
        {{s, s}, {surround}, false}, {{s, s}, {s, s}, false},   {{s, s, s}, {s}, false},
        {{none, s}, {s}, false},   {{s, s}, {none}, false},     {{m, none}, {m}, true},
        {{s, none}, {s}, true},    {{none, none}, {s}, false},  {{m, none}, {none}, false},
    };
    for (const Arrangement& a : arrangements) {
        auto in = a.in;
        auto out = a.out;
        const bool accepted = p.processor->setBusArrangements(in.data(), static_cast<int32>(in.size()), out.data(),
                                                              static_cast<int32>(out.size())) == kResultTrue;
        EXPECT_EQ(accepted, a.accepted) << in.size() << " in, " << out.size() << " out: " << in[0] << ", " << in[1];
        if (!accepted) continue;
        for (int32 i = 0; i < 2; ++i) {  // reported as the host asked
            const SpeakerArrangement asked = in[static_cast<std::size_t>(i)];
            SpeakerArrangement got = 1;
            ASSERT_EQ(p.processor->getBusArrangement(kInput, i, got), kResultOk);
            EXPECT_EQ(got, asked) << "input " << i;
            ASSERT_EQ(p.component->getBusInfo(kAudio, kInput, i, bus), kResultOk);
            EXPECT_EQ(bus.channelCount, asked == s ? 2 : asked == m ? 1 : 0) << "input " << i;
        }
    }
    EXPECT_EQ(p.processor->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(p.processor->canProcessSampleSize(kSample64), kResultFalse);
    for (ProcessSetup refused : {ProcessSetup{kRealtime, kSample64, 512, 44100.0},
                                 ProcessSetup{kRealtime, kSample32, 512, 0.0},
                                 ProcessSetup{kRealtime, kSample32, 512, std::nan("")},
                                 ProcessSetup{kRealtime, kSample32, 512, 1e300}})
        EXPECT_NE(p.processor->setupProcessing(refused), kResultOk) << refused.sampleRate;
    EXPECT_EQ(p.processor->getLatencySamples(), 0u);
    EXPECT_GE(p.processor->getTailSamples(), 44100u);
}

// ------------------------------------------------------------------ view

// The content scales the editor draws exactly are taken; any other leaves
// the view as it was (a fractional factor would be drawn at the whole one
// below, which the host did not ask for).
TEST(Vst3View, TakesOnlyTheScalesItDraws) {
    Plugin p;
    ASSERT_TRUE(p.ok());
    IPlugView* view = p.controller->createView("editor");
    if (!view) GTEST_SKIP() << "no window system in this build";
    auto* scaling = query<IPlugViewContentScaleSupport>(view);
    ASSERT_NE(scaling, nullptr);
    const struct {
        float factor;
        bool taken;
        int width;  // the view's width afterwards
    } steps[] = {{2.0f, true, 760},  {1.5f, false, 760}, {2.5f, false, 760}, {3.0f, true, 1140},
                 {0.0f, false, 1140}, {-2.0f, false, 1140}, {4.0f, false, 1140}, {NAN, false, 1140},
                 {0.5f, false, 1140}, {1.0f, true, 380}};
    for (const auto& step : steps) {
        EXPECT_EQ(scaling->setContentScaleFactor(step.factor), step.taken ? kResultTrue : kResultFalse) << step.factor;
        ViewRect size{};
        ASSERT_EQ(view->getSize(&size), kResultOk);
        EXPECT_EQ(size.right - size.left, step.width) << step.factor;
    }
    scaling->release();
    view->release();
}

#ifdef HALVORINE_VST3_X11

// The host's frame and run loop: a timer and a descriptor, served by
// pump(). It counts the references the view holds; `offersRunLoop` false
// makes it a frame without a run loop.
class RunLoop final : public linux_ui::IRunLoop, public IPlugFrame {
public:
    tresult HALVORINE_VST3_CALL queryInterface(const TUID id, void** obj) override {
        *obj = nullptr;
        if (offersRunLoop && linux_ui::IRunLoop::iid.matches(id)) *obj = static_cast<linux_ui::IRunLoop*>(this);
        if (IPlugFrame::iid.matches(id) || FUnknown::iid.matches(id)) *obj = static_cast<IPlugFrame*>(this);
        if (*obj) ++references;
        return *obj ? kResultOk : kNoInterface;
    }
    uint32 HALVORINE_VST3_CALL addRef() override { return static_cast<uint32>(++references); }
    uint32 HALVORINE_VST3_CALL release() override { return static_cast<uint32>(--references); }
    tresult HALVORINE_VST3_CALL resizeView(IPlugView*, ViewRect* r) override {
        resized = *r;
        return kResultTrue;
    }
    tresult HALVORINE_VST3_CALL registerEventHandler(linux_ui::IEventHandler* h, int fd) override {
        handler = h;
        descriptor = fd;
        return kResultOk;
    }
    tresult HALVORINE_VST3_CALL unregisterEventHandler(linux_ui::IEventHandler*) override {
        handler = nullptr;
        return kResultOk;
    }
    tresult HALVORINE_VST3_CALL registerTimer(linux_ui::ITimerHandler* t, uint64 ms) override {
        timer = t;
        period = ms;
        return kResultOk;
    }
    tresult HALVORINE_VST3_CALL unregisterTimer(linux_ui::ITimerHandler*) override {
        timer = nullptr;
        return kResultOk;
    }
    // One turn of the loop: the descriptor when readable, the timer when due.
    void turn() {
        if (handler) {
            pollfd p{descriptor, POLLIN, 0};
            if (poll(&p, 1, 5) > 0) handler->onFDIsSet(descriptor);
        }
        const auto now = std::chrono::steady_clock::now();
        if (timer && now >= due) {
            due = now + std::chrono::milliseconds(period);
            timer->onTimer();
        }
    }
    linux_ui::IEventHandler* handler = nullptr;
    linux_ui::ITimerHandler* timer = nullptr;
    int descriptor = -1;
    uint64 period = 0;
    std::chrono::steady_clock::time_point due{};
    ViewRect resized{};
    int references = 0;
    bool offersRunLoop = true;
};

bool differs(const editor::Canvas& a, const editor::Canvas& b, const editor::Rect& r) {
    for (int y = r.top; y < r.top + r.height; ++y)
        for (int x = r.left; x < r.left + r.width; ++x)
            if (a.at(x, y) != b.at(x, y)) return true;
    return false;
}

TEST(Vst3View, EmbedsTheEditorOnTheHostsRunLoop) {
    constexpr int kLeft = 60, kTop = 90;
    constexpr editor::Rect kShiftSlider{140, 80, 100, 13};
    constexpr editor::Rect kBoostSlider{260, 80, 100, 13};
    Plugin p;
    ASSERT_TRUE(p.ok());
    IPlugView* view = p.controller->createView("editor");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
    ViewRect size{};
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right - size.left, 380);
    EXPECT_EQ(size.bottom - size.top, 144);
    EXPECT_EQ(view->canResize(), kResultFalse);

    XHost x;
    ASSERT_TRUE(x.ok());
    const Window parent = x.createTopLevel(kLeft, kTop, 380, 144);
    // Without the host's run loop nothing would ever update the editor.
    RunLoop bare;
    bare.offersRunLoop = false;
    view->setFrame(&bare);
    EXPECT_EQ(view->attached(handle(parent), kPlatformTypeX11EmbedWindowID), kResultFalse);
    EXPECT_TRUE(x.children(parent).empty());
    EXPECT_EQ(bare.references, 0);
    RunLoop loop;
    view->setFrame(&loop);
    ASSERT_EQ(view->attached(handle(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
    EXPECT_EQ(loop.references, 2) << "the frame and its run loop, held while attached";
    ASSERT_EQ(x.children(parent).size(), 1u);
    const Window child = x.children(parent)[0];
    EXPECT_EQ(loop.period, 25u);
    EXPECT_NE(loop.handler, nullptr) << "the X connection's events come through the run loop";
    const auto pump = [&](const std::function<bool()>& done) {
        return pumpUntil([&] { loop.turn(); }, done);
    };

    // A drag on Boost from X = 30 ((30 - 10) / 80 = 0.25) past the right end.
    x.moveTo(kLeft + kBoostSlider.left + 30, kTop + kBoostSlider.top + 6);
    x.button(1, true);
    EXPECT_TRUE(pump([&] { return !p.handler.edits.empty() && p.handler.edits.back().value == 0.25; }));
    x.moveTo(kLeft + 380 + 40, kTop + kBoostSlider.top + 6);
    EXPECT_TRUE(pump([&] { return p.handler.edits.back().value == 1.0; }));
    x.button(1, false);
    EXPECT_TRUE(pump([&] { return p.handler.edits.back().kind == 'e'; }));
    ASSERT_GE(p.handler.edits.size(), 4u);
    EXPECT_EQ(p.handler.edits.front(), (Edit{'b', 8, 0.0}));
    EXPECT_EQ(p.handler.edits.back(), (Edit{'e', 8, 0.0}));
    for (std::size_t i = 1; i + 1 < p.handler.edits.size(); ++i) EXPECT_EQ(p.handler.edits[i].kind, 'p');
    EXPECT_EQ(p.controller->getParamNormalized(8), 1.0);

    // The host moves Shift: its slider follows on the timer, Boost stays.
    x.moveTo(kLeft + 500, kTop + 300);
    for (int i = 0; i < 5; ++i) loop.turn();
    const editor::Canvas before = x.capture(child);
    ASSERT_EQ(before.width(), 380);
    p.controller->setParamNormalized(6, 0.1);
    editor::Canvas after;
    EXPECT_TRUE(pump([&] {
        after = x.capture(child);
        return after.width() == 380 && differs(before, after, kShiftSlider);
    }));
    EXPECT_FALSE(differs(before, after, kBoostSlider));

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_TRUE(x.children(parent).empty());
    EXPECT_EQ(loop.timer, nullptr);
    EXPECT_EQ(loop.handler, nullptr);
    EXPECT_EQ(loop.references, 0);

    // The host's content scale: the size before attaching, the window's,
    // and a change while attached that asks the host to resize.
    void* scaling = nullptr;
    ASSERT_EQ(view->queryInterface(IPlugViewContentScaleSupport::iid.bytes, &scaling), kResultOk);
    auto* contentScale = static_cast<IPlugViewContentScaleSupport*>(scaling);
    EXPECT_EQ(contentScale->setContentScaleFactor(2.0f), kResultTrue);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right - size.left, 760);
    EXPECT_EQ(size.bottom - size.top, 288);
    ASSERT_EQ(view->attached(handle(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
    EXPECT_TRUE(pump([&] { return x.capture(x.children(parent)[0]).width() == 760; }));
    EXPECT_EQ(contentScale->setContentScaleFactor(3.0f), kResultTrue);
    EXPECT_EQ(loop.resized.right - loop.resized.left, 1140);
    EXPECT_EQ(loop.resized.bottom - loop.resized.top, 432);
    loop.resized = {};
    EXPECT_EQ(contentScale->setContentScaleFactor(1.5f), kResultFalse) << "drawn at 1, not 1.5";
    EXPECT_EQ(loop.resized.right, 0);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right - size.left, 1140);
    // Released while attached: the window and the frame go with it.
    contentScale->release();
    view->release();
    EXPECT_EQ(loop.references, 0);
    EXPECT_TRUE(x.children(parent).empty());
    x.destroy(parent);
}
#endif

#ifdef _WIN32
// ------------------------------------------------------------ view (HWND)

// The host's frame, counting the references the view holds.
class Frame final : public IPlugFrame {
public:
    tresult HALVORINE_VST3_CALL queryInterface(const TUID id, void** obj) override {
        *obj = IPlugFrame::iid.matches(id) || FUnknown::iid.matches(id) ? this : nullptr;
        if (*obj) ++references;
        return *obj ? kResultOk : kNoInterface;
    }
    uint32 HALVORINE_VST3_CALL addRef() override { return static_cast<uint32>(++references); }
    uint32 HALVORINE_VST3_CALL release() override { return static_cast<uint32>(--references); }
    tresult HALVORINE_VST3_CALL resizeView(IPlugView*, ViewRect*) override { return kResultTrue; }
    int references = 0;
};

TEST(Vst3View, EmbedsTheEditorInAnHwnd) {
    Plugin p;
    ASSERT_TRUE(p.ok());
    IPlugView* view = p.controller->createView("editor");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"HalvorineVst3TestHost";
    RegisterClassExW(&wc);
    HWND parent = CreateWindowExW(0, wc.lpszClassName, L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                  500, 300, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(parent, nullptr);
    Frame frame;
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(parent, kPlatformTypeHWND), kResultOk);
    EXPECT_EQ(frame.references, 1) << "held while attached";
    HWND child = GetWindow(parent, GW_CHILD);
    ASSERT_NE(child, nullptr);
    // A click on Boost at X = 30 of its 100 pixels: 0.25, one gesture.
    const LPARAM at = MAKELPARAM(260 + 30, 80 + 6);
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(child, WM_LBUTTONUP, 0, at);
    ASSERT_EQ(p.handler.edits.size(), 3u);
    EXPECT_EQ(p.handler.edits[0], (Edit{'b', 8, 0.0}));
    EXPECT_EQ(p.handler.edits[1], (Edit{'p', 8, 0.25}));
    EXPECT_EQ(p.handler.edits[2], (Edit{'e', 8, 0.0}));
    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    EXPECT_EQ(frame.references, 0);
    view->release();
    DestroyWindow(parent);
}
#endif

}  // namespace
}  // namespace halvorine::test
