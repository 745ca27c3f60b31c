// Halvorine.clap as a CLAP host sees it: loaded through clap_entry, its
// descriptor, ports and parameters, its sound against the VST 2 library's
// bits, its state, its presets and (under Xvfb) its embedded editor.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "clap_abi.h"
#include "editor_queue.h"
#include "factory_presets.h"
#include "parameter_table.h"
#include "support/clicks.h"
#include "support/plugin_host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <poll.h>
#endif

#if defined(HALVORINE_CLAP_GUI_TESTS)
#include "x_host.h"
#endif

#if defined(HALVORINE_COUNT_ALLOCATIONS)
namespace halvorine::test {
void countAllocations(bool on);
long allocationsCounted();
}  // namespace halvorine::test
#endif

namespace halvorine::test {
namespace {

namespace clap = halvorine::clap;

// The build's file, or another (an installed one) named by HALVORINE_CLAP.
std::string clapPath() {
    if (const char* env = std::getenv("HALVORINE_CLAP")) return env;
#if defined(_WIN32)
    char exe[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir(exe, n);
    dir.resize(dir.find_last_of("\\/") + 1);
    return dir + "..\\clap\\Halvorine.clap";
#else
    return HALVORINE_CLAP_PATH;
#endif
}

const clap::PluginEntry* entry() {
    static const clap::PluginEntry* e = [] {
        const std::string path = clapPath();
#if defined(_WIN32)
        HMODULE module = LoadLibraryA(path.c_str());
        void* symbol = module ? reinterpret_cast<void*>(GetProcAddress(module, "clap_entry")) : nullptr;
#else
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        void* symbol = module ? dlsym(module, "clap_entry") : nullptr;
#endif
        return static_cast<const clap::PluginEntry*>(symbol);
    }();
    return e;
}

// ------------------------------------------------------------------ the host

struct ClapHost {
    clap::Host clap{clap::kVersion, this, "halvorine-tests", "Brindlex", "", "1",
                    getExtension, [](const clap::Host*) {}, [](const clap::Host*) {},
                    [](const clap::Host*) {}};
    std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> inAudio{false};  // the test thread plays the audio thread
    // What the host offers: nothing at all (a host probing the plug-in), a
    // timer only, or a timer and file descriptors to watch.
    enum class Offers { Nothing, Timer, TimerAndFds } offers = Offers::TimerAndFds;
    int rescans = 0, flushRequests = 0, tailChanges = 0;
    std::vector<std::string> presetsLoaded, presetErrors;
    std::vector<clap::Id> timers;
    std::vector<int> fds;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> resizes;

    static ClapHost& of(const clap::Host* h) { return *static_cast<ClapHost*>(h->host_data); }

    static const void* getExtension(const clap::Host* self, const char* extension) {
        static const clap::HostThreadCheck threads{
            [](const clap::Host* h) {
                return !of(h).inAudio && std::this_thread::get_id() == of(h).mainThread;
            },
            [](const clap::Host* h) {
                return of(h).inAudio || std::this_thread::get_id() != of(h).mainThread;
            }};
        static const clap::HostParams params{
            [](const clap::Host* h, std::uint32_t) { ++of(h).rescans; },
            [](const clap::Host*, clap::Id, std::uint32_t) {},
            [](const clap::Host* h) { ++of(h).flushRequests; }};
        static const clap::HostTail tail{[](const clap::Host* h) { ++of(h).tailChanges; }};
        static const clap::HostPresetLoad presets{
            [](const clap::Host* h, std::uint32_t, const char*, const char* key, std::int32_t,
               const char*) { of(h).presetErrors.push_back(key ? key : "(null)"); },
            [](const clap::Host* h, std::uint32_t, const char*, const char* key) {
                of(h).presetsLoaded.push_back(key ? key : "(null)");
            }};
        static const clap::HostTimerSupport timerSupport{
            [](const clap::Host* h, std::uint32_t, clap::Id* id) {
                *id = 40 + static_cast<clap::Id>(of(h).timers.size());
                of(h).timers.push_back(*id);
                return true;
            },
            [](const clap::Host* h, clap::Id id) { return std::erase(of(h).timers, id) == 1; }};
        static const clap::HostPosixFdSupport fdSupport{
            [](const clap::Host* h, int fd, std::uint32_t) {
                of(h).fds.push_back(fd);
                return true;
            },
            [](const clap::Host*, int, std::uint32_t) { return true; },
            [](const clap::Host* h, int fd) { return std::erase(of(h).fds, fd) == 1; }};
        static const clap::HostGui gui{
            [](const clap::Host*) {},
            [](const clap::Host* h, std::uint32_t width, std::uint32_t height) {
                of(h).resizes.emplace_back(width, height);
                return true;
            },
            [](const clap::Host*) { return false; }, [](const clap::Host*) { return false; },
            [](const clap::Host*, bool) {}};
        const std::string name = extension;
        if (of(self).offers == Offers::Nothing) return nullptr;
        if (name == clap::kExtGui) return &gui;
        if (name == clap::kExtThreadCheck) return &threads;
        if (name == clap::kExtParams) return &params;
        if (name == clap::kExtPresetLoad) return &presets;
        if (name == clap::kExtTail) return &tail;
        if (name == clap::kExtTimerSupport) return &timerSupport;
        if (name == clap::kExtPosixFdSupport && of(self).offers == Offers::TimerAndFds) return &fdSupport;
        return nullptr;
    }
};

// An initialised instance of Halvorine in a host of its own.
struct Instance {
    ClapHost host;
    const clap::Plugin* plugin = nullptr;

    explicit Instance(ClapHost::Offers offers = ClapHost::Offers::TimerAndFds) {
        host.offers = offers;
        const clap::PluginEntry* e = entry();
        if (!e || !e->init(clapPath().c_str())) return;
        const auto* factory = static_cast<const clap::PluginFactory*>(e->get_factory(clap::kPluginFactoryId));
        plugin = factory ? factory->create_plugin(factory, &host.clap, "brindlex.halvorine") : nullptr;
        if (plugin && !plugin->init(plugin)) {
            plugin->destroy(plugin);
            plugin = nullptr;
        }
    }
    ~Instance() {
        if (plugin) plugin->destroy(plugin);
        if (entry()) entry()->deinit();
    }
    template <class T>
    const T* ext(const char* id) const {
        return static_cast<const T*>(plugin->get_extension(plugin, id));
    }
    const clap::PluginParams& params() const { return *ext<clap::PluginParams>(clap::kExtParams); }
    double value(clap::Id id) const {
        double v = -1e9;
        EXPECT_TRUE(params().get_value(plugin, id, &v));
        return v;
    }
};

struct InEvents {
    std::vector<clap::EventParamValue> events;
    clap::InputEvents list{this,
                           [](const clap::InputEvents* l) {
                               return static_cast<std::uint32_t>(
                                   static_cast<InEvents*>(l->ctx)->events.size());
                           },
                           [](const clap::InputEvents* l, std::uint32_t i) -> const clap::EventHeader* {
                               return &static_cast<InEvents*>(l->ctx)->events[i].header;
                           }};
    void add(std::uint32_t time, clap::Id id, double value, std::uint16_t type = clap::kEventParamValue) {
        clap::EventParamValue e{};
        e.header = {sizeof e, time, clap::kCoreEventSpace, type, 0};
        e.param_id = id;
        e.note_id = -1;
        e.port_index = e.channel = e.key = -1;
        e.value = value;
        events.push_back(e);
    }
};

// What the plug-in sent out: type, parameter, value (gestures: 0).
struct OutEvent {
    std::uint16_t type;
    clap::Id id;
    double value;
    bool operator==(const OutEvent&) const = default;
};
// With `refuseEvery` n, every n-th push fails, as a host's full queue would.
struct OutEvents {
    std::vector<OutEvent> events;
    int refuseEvery = 0, pushes = 0;
    clap::OutputEvents list{this, [](const clap::OutputEvents* l, const clap::EventHeader* h) {
                                auto* self = static_cast<OutEvents*>(l->ctx);
                                if (self->refuseEvery && ++self->pushes % self->refuseEvery == 0) return false;
                                const auto* v = reinterpret_cast<const clap::EventParamValue*>(h);
                                self->events.push_back(
                                    {h->type, v->param_id, h->type == clap::kEventParamValue ? v->value : 0.0});
                                return true;
                            }};
};

// The value axis CLAP hosts see: the frequencies in octaves above 20 Hz
// (ten times the normalised value), every other parameter in its unit.
bool inOctaves(clap::Id id) { return id == 0 || id == 1 || id == 3 || id == 4; }
float normalisedOf(clap::Id id, double value) {
    return inOctaves(id) ? static_cast<float>(std::clamp(value / 10.0, 0.0, 1.0))
                         : engine::toNormalised(static_cast<int>(id), value);
}
double valueOf(clap::Id id, float normalised) {
    return inOctaves(id) ? 10.0 * normalised : engine::toUnits(static_cast<int>(id), normalised);
}

void setValues(Instance& in, const std::vector<std::pair<clap::Id, double>>& values) {
    InEvents events;
    for (const auto& [id, v] : values) events.add(0, id, v);
    in.params().flush(in.plugin, &events.list, nullptr);
}

// ----------------------------------------------------- entry, descriptor, ports

TEST(ClapEntry, InitAndDeinitBalanceAndTheDescriptorIsHalvorine) {
    const clap::PluginEntry* e = entry();
    ASSERT_NE(e, nullptr) << "no clap_entry in " << clapPath();
    EXPECT_EQ(e->clap_version.major, 1u);
    ASSERT_TRUE(e->init("a"));
    ASSERT_TRUE(e->init("a"));
    e->deinit();
    EXPECT_NE(e->get_factory(clap::kPluginFactoryId), nullptr) << "one init is still open";
    e->deinit();
    EXPECT_EQ(e->get_factory(clap::kPluginFactoryId), nullptr);
    e->deinit();  // one too many is harmless
    ASSERT_TRUE(e->init("a"));
    const auto* f = static_cast<const clap::PluginFactory*>(e->get_factory(clap::kPluginFactoryId));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(e->get_factory("clap.no-such-factory"), nullptr);
    ASSERT_EQ(f->get_plugin_count(f), 1u);
    EXPECT_EQ(f->get_plugin_descriptor(f, 1), nullptr);
    const clap::PluginDescriptor* d = f->get_plugin_descriptor(f, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->id, "brindlex.halvorine");
    EXPECT_STREQ(d->name, "Halvorine");
    EXPECT_STREQ(d->vendor, "Brindlex");
    EXPECT_STREQ(d->version, HALVORINE_VERSION);
    std::vector<std::string> features;
    for (const char* const* p = d->features; *p; ++p) features.push_back(*p);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "filter", "stereo"}));
    ClapHost host;
    EXPECT_EQ(f->create_plugin(f, &host.clap, "brindlex.other"), nullptr);
    e->deinit();
}

TEST(ClapPlugin, PortsLatencyAndTail) {
    Instance in;
    ASSERT_NE(in.plugin, nullptr);
    const auto* ports = in.ext<clap::PluginAudioPorts>(clap::kExtAudioPorts);
    ASSERT_NE(ports, nullptr);
    ASSERT_EQ(ports->count(in.plugin, true), 2u);
    ASSERT_EQ(ports->count(in.plugin, false), 1u);
    const struct {
        bool input;
        std::uint32_t index;
        const char* name;
        bool main;
    } expected[] = {{true, 0, "Modulator", true}, {true, 1, "Carrier", false}, {false, 0, "Output", true}};
    for (const auto& x : expected) {
        clap::AudioPortInfo info{};
        ASSERT_TRUE(ports->get(in.plugin, x.index, x.input, &info)) << x.name;
        EXPECT_STREQ(info.name, x.name);
        EXPECT_EQ((info.flags & clap::kAudioPortIsMain) != 0, x.main) << x.name;
        EXPECT_EQ(info.channel_count, 2u) << x.name;
        EXPECT_STREQ(info.port_type, "stereo") << x.name;
    }
    clap::AudioPortInfo info{};
    EXPECT_FALSE(ports->get(in.plugin, 2, true, &info));
    EXPECT_FALSE(ports->get(in.plugin, 1, false, &info));

    // The layouts a host may choose; audio-ports reports the chosen one.
    const auto* configs = in.ext<clap::PluginAudioPortsConfig>(clap::kExtAudioPortsConfig);
    const auto* configInfo = in.ext<clap::PluginAudioPortsConfigInfo>(clap::kExtAudioPortsConfigInfo);
    ASSERT_TRUE(configs && configInfo);
    EXPECT_EQ(configInfo->current_config(in.plugin), 0u) << "the layout above";
    const struct {
        std::uint32_t main, side, out;  // channels; no sidechain port for 0
    } layouts[] = {{2, 2, 2}, {1, 1, 2}, {1, 1, 1}, {2, 0, 2}};
    ASSERT_EQ(configs->count(in.plugin), std::size(layouts));
    const auto type = [](std::uint32_t channels) { return std::string(channels == 1 ? "mono" : "stereo"); };
    for (std::uint32_t i = std::size(layouts); i-- > 0;) {
        SCOPED_TRACE(i);
        const auto& l = layouts[i];
        clap::AudioPortsConfig c{};
        ASSERT_TRUE(configs->get(in.plugin, i, &c));
        EXPECT_NE(c.name[0], '\0');
        EXPECT_EQ(c.input_port_count, l.side ? 2u : 1u);
        EXPECT_EQ(c.output_port_count, 1u);
        EXPECT_TRUE(c.has_main_input && c.has_main_output);
        EXPECT_EQ(c.main_input_channel_count, l.main);
        EXPECT_EQ(type(l.main), c.main_input_port_type);
        EXPECT_EQ(c.main_output_channel_count, l.out);
        EXPECT_EQ(type(l.out), c.main_output_port_type);
        ASSERT_TRUE(configs->select(in.plugin, c.id));
        EXPECT_EQ(configInfo->current_config(in.plugin), c.id);
        ASSERT_EQ(ports->count(in.plugin, true), c.input_port_count);
        ASSERT_EQ(ports->count(in.plugin, false), 1u);
        const std::uint32_t channels[3] = {l.main, l.side, l.out};
        for (std::uint32_t port = 0; port < 3; ++port) {
            if (port == 1 && !l.side) continue;
            const bool input = port < 2;
            clap::AudioPortInfo now{}, listed{};
            ASSERT_TRUE(ports->get(in.plugin, input ? port : 0, input, &now)) << port;
            ASSERT_TRUE(configInfo->get(in.plugin, c.id, input ? port : 0, input, &listed)) << port;
            EXPECT_EQ(now.channel_count, channels[port]) << port;
            EXPECT_EQ(type(channels[port]), now.port_type) << port;
            EXPECT_EQ(listed.channel_count, now.channel_count) << port;
            EXPECT_STREQ(listed.name, now.name) << port;
            // Main input and output share buffers only with the same channels.
            if (port != 1) {
                EXPECT_EQ(now.in_place_pair, l.main == l.out ? 0u : clap::kInvalidId) << port;
            }
        }
    }
    EXPECT_FALSE(configs->select(in.plugin, static_cast<clap::Id>(std::size(layouts))));
    EXPECT_EQ(configInfo->current_config(in.plugin), 0u);

    const auto* latency = in.ext<clap::PluginLatency>(clap::kExtLatency);
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(latency->get(in.plugin), 0u);
    ASSERT_TRUE(in.plugin->activate(in.plugin, 48000.0, 1, 4096));
    const auto* tail = in.ext<clap::PluginTail>(clap::kExtTail);
    ASSERT_NE(tail, nullptr);
    EXPECT_FALSE(configs->select(in.plugin, 1)) << "only while deactivated";
    EXPECT_EQ(configInfo->current_config(in.plugin), 0u);
    in.plugin->deactivate(in.plugin);
}

// ---------------------------------------------------------------- parameters

TEST(ClapParams, NamesRangesFlagsAndTextsMatchTheVst2Library) {
    Instance in;
    ASSERT_NE(in.plugin, nullptr);
    TestHost vst;
    AEffect* e = vst.loadOrFail(PluginLibrary::entry());
    const clap::PluginParams& params = in.params();
    ASSERT_EQ(params.count(in.plugin), 18u);
    // The frequencies in octaves above 20 Hz, so that lanes draw them evenly.
    const struct {
        double minimum, maximum, defaultValue;
        bool stepped;
    } expected[9] = {{0, 10, 0, false},  {0, 10, 10, false}, {0, 100, 50, false},
                     {0, 10, 0, false},  {0, 10, 10, false}, {0, 100, 50, false},
                     {0, 63, 31, true},  {0, 1, 0.5, false}, {-20, 20, 10, false}};
    for (std::uint32_t id = 0; id < 9; ++id) {
        SCOPED_TRACE(id);
        clap::ParamInfo info{};
        ASSERT_TRUE(params.get_info(in.plugin, id, &info));
        EXPECT_EQ(info.id, id);
        EXPECT_EQ(info.name, vst.text(e, effGetParamName, static_cast<VstInt32>(id)));
        EXPECT_NE(info.module[0], '\0');
        EXPECT_EQ(info.min_value, expected[id].minimum);
        EXPECT_EQ(info.max_value, expected[id].maximum);
        EXPECT_EQ(info.default_value, expected[id].defaultValue);
        EXPECT_EQ((info.flags & clap::kParamIsStepped) != 0, expected[id].stepped);
        EXPECT_EQ((info.flags & clap::kParamIsModulatable) != 0, !expected[id].stepped);
        EXPECT_NE(info.flags & clap::kParamIsAutomatable, 0u);
        EXPECT_DOUBLE_EQ(in.value(id), expected[id].defaultValue);
        // The text of a value is the VST 2 display of that value.
        for (float v : {0.0f, 0.3f, 0.5f, 0.75f, 1.0f}) {
            e->setParameter(e, static_cast<VstInt32>(id), v);
            char text[64] = "";
            ASSERT_TRUE(params.value_to_text(in.plugin, id, valueOf(id, v), text, sizeof text));
            EXPECT_EQ(text, vst.text(e, effGetParamDisplay, static_cast<VstInt32>(id))) << v;
        }
    }
    // Id 9 is the host's bypass switch, off by default.
    clap::ParamInfo info{};
    ASSERT_TRUE(params.get_info(in.plugin, 9, &info));
    EXPECT_EQ(info.id, 9u);
    EXPECT_STREQ(info.name, "Bypass");
    EXPECT_EQ(info.flags & (clap::kParamIsBypass | clap::kParamIsStepped | clap::kParamIsModulatable),
              clap::kParamIsBypass | clap::kParamIsStepped);
    EXPECT_EQ(info.min_value, 0.0);
    EXPECT_EQ(info.max_value, 1.0);
    EXPECT_EQ(in.value(9), 0.0);
    char text[8];
    ASSERT_TRUE(params.value_to_text(in.plugin, 9, 1.0, text, sizeof text));
    EXPECT_STREQ(text, "On");
    // Ids 10..17: the carrier synth, in units; VST 2 has none of them.
    const struct {
        const char* name;
        double minimum, maximum, defaultValue;
        bool stepped;
        double value;
        const char* text;
    } synth[8] = {{"Carrier", 0, 1, 0, true, 1, "Synth"},
                  {"Synth Wave", 0, 2, 0, true, 2, "Pulse"},
                  {"Synth Noise", 0, 100, 0, false, 25, "25%"},
                  {"Synth Detune", 0, 50, 10, false, 0, "0 cents"},
                  {"Synth Octave", -2, 2, 0, true, -1, "-1"},
                  {"Synth Attack", 1, 1000, 10, false, 1000, "1 s"},
                  {"Synth Release", 5, 5000, 150, false, 5, "5 ms"},
                  {"Drone", 0, 97, 0, true, 46, "A3"}};
    for (clap::Id id = 10; id < 18; ++id) {
        const auto& x = synth[id - 10];
        SCOPED_TRACE(x.name);
        ASSERT_TRUE(params.get_info(in.plugin, id, &info));
        EXPECT_STREQ(info.name, x.name);
        EXPECT_EQ(info.min_value, x.minimum);
        EXPECT_EQ(info.max_value, x.maximum);
        EXPECT_NEAR(info.default_value, x.defaultValue, 1e-4);
        EXPECT_EQ((info.flags & clap::kParamIsStepped) != 0, x.stepped);
        EXPECT_NE(info.flags & clap::kParamIsAutomatable, 0u);
        char shown[32] = "";
        ASSERT_TRUE(params.value_to_text(in.plugin, id, x.value, shown, sizeof shown));
        EXPECT_STREQ(shown, x.text);
        double read = -100.0;
        ASSERT_TRUE(params.text_to_value(in.plugin, id, x.text, &read));
        EXPECT_NEAR(read, x.value, 1e-3);
    }
    EXPECT_FALSE(params.get_info(in.plugin, 18, &info));
    EXPECT_FALSE(params.value_to_text(in.plugin, 18, 0.0, text, sizeof text));
    char hz[16] = "";
    ASSERT_TRUE(params.value_to_text(in.plugin, 4, 5.0, hz, sizeof hz));
    EXPECT_STREQ(hz, "640Hz") << "5 octaves above 20 Hz";

    const struct {
        clap::Id id;
        const char* text;
        bool read;
        double units;
    } texts[] = {{0, "1.2 kHz", true, std::log2(60.0)}, {3, "640Hz", true, 5}, {8, "+6dB", true, 6},
                 {6, "19 bands", true, 19},
                 {2, "12.3%", true, 12.3},   {5, "80", true, 80},  {8, "6 parsecs", false, 0},
                 {9, "Off", true, 0}, {18, "1", false, 0}};
    for (const auto& t : texts) {
        double units = -99;
        EXPECT_EQ(params.text_to_value(in.plugin, t.id, t.text, &units), t.read) << t.text;
        if (t.read) {
            EXPECT_NEAR(units, t.units, 1e-3 * std::max(1.0, std::abs(t.units))) << t.text;
        }
    }

    // flush applies values in units; other events and unknown ids change nothing.
    InEvents events;
    events.add(0, 8, -6.0);
    events.add(0, 6, 40.0);
    events.add(0, 2, 90.0, clap::kEventParamMod);
    events.add(0, 12, 1.0);
    params.flush(in.plugin, &events.list, nullptr);
    EXPECT_DOUBLE_EQ(in.value(8), -6.0);
    EXPECT_DOUBLE_EQ(in.value(6), 40.0);
    EXPECT_DOUBLE_EQ(in.value(2), 50.0);
    vst.close(e);
}

// ------------------------------------------------------------------ the sound

std::vector<float> mono(const std::vector<float>& l, const std::vector<float>& r) {
    std::vector<float> m(l.size());
    for (std::size_t i = 0; i < l.size(); ++i)
        m[i] = static_cast<float>((static_cast<double>(l[i]) + r[i]) / 2.0);
    return m;
}

constexpr double kRate = 48000.0;
constexpr int kBlocks[] = {256, 700, 5000, 300};
struct Change {
    int frame;
    clap::Id id;
    double value;  // on the CLAP value axis
    bool modulation = false;
};
// Several in one block, two at one frame, one on a block's last frame.
// Modulations ride on the value: a new value keeps them, the range clamps
// the sum, 0 ends one, and the stepped shift takes none.
constexpr Change kChanges[] = {{300, 8, -6.0},        {300, 6, 5.0},          {500, 2, 30.0, true},
                               {811, 0, 5.0},         {1000, 7, 0.3},         {1000, 0, 2.5, true},
                               {2000, 6, 20.0, true}, {3000, 2, 12.0},        {3001, 8, 33.0, true},
                               {4500, 0, -9.0, true}, {5500, 2, 0.0, true},   {6255, 4, 8.4513}};

// The VST 2 library on the same inputs, each change given before the frame
// it falls on: a modulated parameter gets its value and modulation summed.
std::vector<float> renderVst(const std::vector<float>& modulator, const std::vector<float>& carrier) {
    TestHost host;
    AEffect* e = host.loadOrFail(PluginLibrary::entry());
    host.dispatch(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    float values[9];
    double modulations[9] = {};
    for (int id = 0; id < 9; ++id) values[id] = engine::parameterInfo(id).defaultValue;
    std::vector<int> cuts;
    int at = 0;
    for (int frames : kBlocks) cuts.push_back(at += frames);
    for (const Change& c : kChanges) cuts.push_back(c.frame);
    std::sort(cuts.begin(), cuts.end());
    std::vector<float> out(modulator.size()), other(modulator.size());
    int start = 0;
    for (int cut : cuts) {
        for (const Change& c : kChanges) {
            if (c.frame != start || (c.modulation && c.id == 6)) continue;
            if (c.modulation) modulations[c.id] = c.value;
            else values[c.id] = normalisedOf(c.id, c.value);
            e->setParameter(e, static_cast<VstInt32>(c.id),
                            modulations[c.id] == 0.0
                                ? values[c.id]
                                : normalisedOf(c.id, valueOf(c.id, values[c.id]) + modulations[c.id]));
        }
        if (cut > start)
            processBlock(e, modulator.data() + start, carrier.data() + start, out.data() + start,
                         other.data() + start, cut - start);
        start = std::max(start, cut);
    }
    host.close(e);
    EXPECT_EQ(out, other);
    return out;
}

enum class Side { NoPort, NoBuffer, NoChannels, Mono, Stereo };

TEST(ClapProcess, SameBitsAsTheVst2LibraryOnEveryBusLayout) {
    int total = 0;
    for (int frames : kBlocks) total += frames;
    const auto l = toneWithNoise(total, 0.031, 1), r = toneWithNoise(total, 0.0077, 2);
    const auto sl = toneWithNoise(total, 0.013, 3), sr = toneWithNoise(total, 0.05, 4);
    const std::vector<float> silence(static_cast<std::size_t>(total), 0.0f);
    const struct {
        const char* what;
        int mainChannels;
        Side side;
        bool inPlace;
    } layouts[] = {
        {"stereo, stereo sidechain", 2, Side::Stereo, false},
        {"mono, mono sidechain", 1, Side::Mono, false},
        {"stereo, mono sidechain, in place", 2, Side::Mono, true},
        {"stereo, no sidechain port", 2, Side::NoPort, false},
        {"stereo, sidechain without buffer", 2, Side::NoBuffer, false},
        {"stereo, sidechain of no channels, in place", 2, Side::NoChannels, true},
        {"mono, no sidechain port", 1, Side::NoPort, false},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.what);
        const bool sideActive = layout.side == Side::Mono || layout.side == Side::Stereo;
        const auto mainMono = layout.mainChannels == 2 ? mono(l, r) : l;
        const auto sideMono = layout.side == Side::Stereo ? mono(sl, sr) : sl;
        const auto expected = renderVst(sideActive ? mainMono : l,
                                        sideActive ? sideMono : (layout.mainChannels == 2 ? r : silence));

        Instance in;
        ASSERT_NE(in.plugin, nullptr);
        ASSERT_TRUE(in.plugin->activate(in.plugin, kRate, 1, 8192));
        std::vector<float> mainL = l, mainR = r, sideL = sl, sideR = sr;
        std::vector<float> outL(l.size()), outR(l.size());
        if (layout.inPlace) {
            outL = l;
            outR = r;
        }
        float* const inL = layout.inPlace ? outL.data() : mainL.data();
        float* const inR = layout.inPlace ? outR.data() : mainR.data();
        in.host.inAudio = true;
        ASSERT_TRUE(in.plugin->start_processing(in.plugin));
        long allocations = 0;
        int at = 0;
        for (int frames : kBlocks) {
            float* mainData[2] = {inL + at, inR + at};
            float* sideData[2] = {sideL.data() + at, sideR.data() + at};
            float* outData[2] = {outL.data() + at, outR.data() + at};
            clap::AudioBuffer inputs[2] = {
                {mainData, nullptr, static_cast<std::uint32_t>(layout.mainChannels), 0, 0},
                {layout.side == Side::NoBuffer ? nullptr : sideData, nullptr,
                 layout.side == Side::Stereo ? 2u : layout.side == Side::NoChannels ? 0u : 1u, 0, 0}};
            // A stale mask from the host's last use of the buffers.
            clap::AudioBuffer outputs[1] = {{outData, nullptr, 2, 0, ~std::uint64_t{0}}};
            InEvents events;
            events.events.reserve(8);
            for (const Change& c : kChanges)
                if (c.frame >= at && c.frame < at + frames)
                    events.add(static_cast<std::uint32_t>(c.frame - at), c.id, c.value,
                               c.modulation ? clap::kEventParamMod : clap::kEventParamValue);
            OutEvents out;
            const clap::Process process{-1, static_cast<std::uint32_t>(frames), nullptr, inputs, outputs,
                                        layout.side == Side::NoPort ? 1u : 2u, 1, &events.list, &out.list};
#if defined(HALVORINE_COUNT_ALLOCATIONS)
            countAllocations(true);
#endif
            EXPECT_EQ(in.plugin->process(in.plugin, &process), clap::kProcessContinue);
#if defined(HALVORINE_COUNT_ALLOCATIONS)
            countAllocations(false);
            allocations += allocationsCounted();
#endif
            EXPECT_EQ(outputs[0].constant_mask, 0u) << "no output channel is constant";
            at += frames;
        }
        in.plugin->stop_processing(in.plugin);
        in.host.inAudio = false;
        in.plugin->deactivate(in.plugin);
        EXPECT_EQ(allocations, 0) << "process allocated";
        int differing = 0, first = -1;
        for (std::size_t i = 0; i < expected.size(); ++i)
            if (bitsOf(outL[i]) != bitsOf(expected[i]) || bitsOf(outR[i]) != bitsOf(expected[i])) {
                if (first < 0) first = static_cast<int>(i);
                ++differing;
            }
        EXPECT_EQ(differing, 0) << "first at frame " << first;
    }
}

// ------------------------------------------------------------ state and presets

struct Writer {
    std::vector<std::uint8_t> bytes;
    std::size_t chunk = 1u << 20;
    bool fail = false;
    clap::OStream stream{this, [](const clap::OStream* s, const void* data, std::uint64_t size) -> std::int64_t {
                             auto* self = static_cast<Writer*>(s->ctx);
                             if (self->fail) return -1;
                             const auto n = std::min<std::uint64_t>(size, self->chunk);
                             const auto* p = static_cast<const std::uint8_t*>(data);
                             self->bytes.insert(self->bytes.end(), p, p + n);
                             return static_cast<std::int64_t>(n);
                         }};
};

struct Reader {
    std::vector<std::uint8_t> bytes;
    std::size_t chunk = 1u << 20;
    std::size_t failAt = ~std::size_t{0};  // the read that would pass this offset fails
    std::size_t at = 0;
    clap::IStream stream{this, [](const clap::IStream* s, void* data, std::uint64_t size) -> std::int64_t {
                             auto* self = static_cast<Reader*>(s->ctx);
                             const auto n = std::min<std::uint64_t>(
                                 {size, self->chunk, self->bytes.size() - self->at});
                             if (self->at + n > self->failAt) return -1;
                             if (n > 0) std::memcpy(data, self->bytes.data() + self->at, n);
                             self->at += n;
                             return static_cast<std::int64_t>(n);
                         }};
};

std::vector<std::uint8_t> save(const Instance& in) {
    Writer w;
    EXPECT_TRUE(in.ext<clap::PluginState>(clap::kExtState)->save(in.plugin, &w.stream));
    return w.bytes;
}

bool loadPreset(const Instance& in, const char* key, std::uint32_t kind = clap::kPresetLocationPlugin,
                const char* location = nullptr) {
    const auto* load = in.ext<clap::PluginPresetLoad>(clap::kExtPresetLoad);
    return load && load->from_location(in.plugin, kind, location, key);
}

// One block through an active instance: the modulator on the main input's
// left channel, the carrier on its right, no sidechain port (the VST 2
// layout); the output's constant mask starts stale.
clap::ProcessStatus runClap(Instance& in, const std::vector<float>& modulator, const std::vector<float>& carrier,
                            std::vector<float>& outL, std::vector<float>& outR, InEvents* events = nullptr,
                            std::uint64_t* mask = nullptr) {
    std::vector<float> l = modulator, r = carrier;
    float* mainData[2] = {l.data(), r.data()};
    float* outData[2] = {outL.data(), outR.data()};
    const clap::AudioBuffer inputs[1] = {{mainData, nullptr, 2, 0, 0}};
    clap::AudioBuffer outputs[1] = {{outData, nullptr, 2, 0, ~std::uint64_t{0}}};
    const clap::Process process{-1, static_cast<std::uint32_t>(l.size()), nullptr, inputs, outputs, 1, 1,
                                events ? &events->list : nullptr, nullptr};
    in.host.inAudio = true;
    const clap::ProcessStatus status = in.plugin->process(in.plugin, &process);
    in.host.inAudio = false;
    if (mask) *mask = outputs[0].constant_mask;
    return status;
}

// Notes of either dialect, in one list: CLAP notes and MIDI messages.
struct NoteList {
    std::vector<std::array<std::uint8_t, 64>> events;
    clap::InputEvents list{this,
                           [](const clap::InputEvents* l) {
                               return static_cast<std::uint32_t>(static_cast<NoteList*>(l->ctx)->events.size());
                           },
                           [](const clap::InputEvents* l, std::uint32_t i) -> const clap::EventHeader* {
                               return reinterpret_cast<const clap::EventHeader*>(
                                   static_cast<NoteList*>(l->ctx)->events[i].data());
                           }};
    template <class T>
    void push(const T& e) {
        static_assert(sizeof e <= 64);
        events.emplace_back();
        std::memcpy(events.back().data(), &e, sizeof e);
    }
    void note(std::uint32_t time, std::uint16_t type, int key, double velocity) {
        clap::EventNote e{};
        e.header = {sizeof e, time, clap::kCoreEventSpace, type, 0};
        e.note_id = -1;
        e.port_index = 0;
        e.channel = 0;
        e.key = static_cast<std::int16_t>(key);
        e.velocity = velocity;
        push(e);
    }
    void midi(std::uint32_t time, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
        clap::EventMidi e{};
        e.header = {sizeof e, time, clap::kCoreEventSpace, clap::kEventMidi, 0};
        e.data[0] = a, e.data[1] = b, e.data[2] = c;
        push(e);
    }
};

// The synth played by notes of either dialect, in blocks cut anywhere: the
// same bits from both, each note at its frame.
TEST(ClapNotes, BothDialectsPlayTheSameBits) {
    {
        Instance in;
        ASSERT_NE(in.plugin, nullptr);
        const auto* ports = in.ext<clap::PluginNotePorts>(clap::kExtNotePorts);
        ASSERT_NE(ports, nullptr);
        EXPECT_EQ(ports->count(in.plugin, true), 1u);
        EXPECT_EQ(ports->count(in.plugin, false), 0u);
        clap::NotePortInfo info{};
        ASSERT_TRUE(ports->get(in.plugin, 0, true, &info));
        EXPECT_EQ(info.supported_dialects & (clap::kNoteDialectClap | clap::kNoteDialectMidi),
                  clap::kNoteDialectClap | clap::kNoteDialectMidi);
    }
    // frame, CLAP note type or MIDI status, key, velocity 0..127
    const struct Played {
        int frame, clapType, status, key, velocity;
    } played[] = {{10, clap::kEventNoteOn, 0x90, 60, 100}, {353, clap::kEventNoteOn, 0x90, 64, 90},
                  {354, -1, 0xE0, 0, 80},  // a bend: MIDI in both
                  {700, clap::kEventNoteOff, 0x80, 60, 0}, {701, clap::kEventNoteOn, 0x90, 67, 127},
                  {900, clap::kEventNoteChoke, 0xB0, 120, 0},  // every voice: choke, or all sound off
                  {950, clap::kEventNoteOn, 0x90, 72, 64}};
    constexpr int kLength = 1400, kCuts[] = {256, 97, 1, 400, 646};
    std::vector<float> outputs[2];
    for (int dialect = 0; dialect < 2; ++dialect) {
        Instance in;
        ASSERT_NE(in.plugin, nullptr);
        setValues(in, {{7, 1.0}, {10, 1.0}, {12, 30.0}});  // mix: the carrier alone; the synth; noise
        ASSERT_TRUE(in.plugin->activate(in.plugin, kRate, 1, 1024));
        int at = 0;
        for (int frames : kCuts) {
            NoteList notes;
            for (const Played& p : played) {
                if (p.frame < at || p.frame >= at + frames) continue;
                const auto t = static_cast<std::uint32_t>(p.frame - at);
                if (dialect == 0 && p.clapType >= 0)
                    notes.note(t, static_cast<std::uint16_t>(p.clapType), p.clapType == clap::kEventNoteChoke ? -1 : p.key,
                               p.velocity / 127.0);
                else
                    notes.midi(t, static_cast<std::uint8_t>(p.status), static_cast<std::uint8_t>(p.key),
                               static_cast<std::uint8_t>(p.velocity));
            }
            InEvents none;
            const std::vector<float> silence(static_cast<std::size_t>(frames));
            std::vector<float> l(silence.size()), r(silence.size());
            std::vector<float> main = silence, carrier = silence;
            float* mainData[2] = {main.data(), carrier.data()};
            float* outData[2] = {l.data(), r.data()};
            const clap::AudioBuffer inputs[1] = {{mainData, nullptr, 2, 0, 0}};
            clap::AudioBuffer outs[1] = {{outData, nullptr, 2, 0, 0}};
            const clap::Process process{-1, static_cast<std::uint32_t>(frames), nullptr, inputs, outs, 1, 1,
                                        &notes.list, nullptr};
            in.host.inAudio = true;
            EXPECT_EQ(in.plugin->process(in.plugin, &process), clap::kProcessContinue);
            in.host.inAudio = false;
            EXPECT_EQ(l, r);
            outputs[dialect].insert(outputs[dialect].end(), l.begin(), l.end());
            at += frames;
        }
        in.plugin->deactivate(in.plugin);
    }
    ASSERT_EQ(outputs[0].size(), static_cast<std::size_t>(kLength));
    EXPECT_LT(std::fabs(outputs[0][9]), 1e-6f) << "silent before the first note";
    EXPECT_GT(std::fabs(outputs[0][60]), 1e-3f) << "the first note";
    for (int i = 0; i < kLength; ++i) ASSERT_EQ(bitsOf(outputs[0][i]), bitsOf(outputs[1][i])) << i;
}

// The host reads, and the state saves, a modulated parameter's value alone;
// a value set another way (here a state) carries the modulation on; reset
// clears the sound alone: the modulations play on.
TEST(ClapProcess, ModulationLeavesTheValueAndOutlivesReset) {
    constexpr int kFrames = 512;
    const auto modulator = toneWithNoise(kFrames, 0.03, 9), carrier = toneWithNoise(kFrames, 0.011, 10);
    std::vector<float> a(kFrames), b(kFrames), other(kFrames);
    Instance modulated, plain, loaded, automated, fresh;
    ASSERT_TRUE(modulated.plugin && plain.plugin && loaded.plugin && automated.plugin && fresh.plugin);
    setValues(plain, {{8, -6.0}});
    setValues(fresh, {{8, -6.0}});
    for (Instance* in : {&modulated, &plain, &loaded, &automated, &fresh})
        ASSERT_TRUE(in->plugin->activate(in->plugin, kRate, 1, kFrames));

    // Boost modulated by +5 dB; then -6 dB arrives by a state in one, by automation in the other.
    InEvents boosted;
    boosted.add(0, 8, 5.0, clap::kEventParamMod);
    InEvents lowered;
    lowered.add(0, 8, -6.0);
    runClap(loaded, modulator, carrier, a, other, &boosted);
    runClap(automated, modulator, carrier, b, other, &boosted);
    Reader state{save(plain)};
    ASSERT_TRUE(loaded.ext<clap::PluginState>(clap::kExtState)->load(loaded.plugin, &state.stream));
    runClap(loaded, modulator, carrier, a, other);
    runClap(automated, modulator, carrier, b, other, &lowered);
    EXPECT_EQ(a, b) << "the loaded value plays with the modulation on top";

    InEvents events;
    events.add(0, 8, 5.0, clap::kEventParamMod);
    events.add(0, 0, 3.0, clap::kEventParamMod);
    events.add(10, 8, -6.0);
    runClap(modulated, modulator, carrier, a, other, &events);
    EXPECT_DOUBLE_EQ(modulated.value(8), -6.0);
    EXPECT_DOUBLE_EQ(modulated.value(0), 0.0);
    EXPECT_EQ(save(modulated), save(plain));
    modulated.host.inAudio = true;
    modulated.plugin->reset(modulated.plugin);
    modulated.host.inAudio = false;
    runClap(modulated, modulator, carrier, a, other);
    InEvents modulations;
    modulations.add(0, 8, 5.0, clap::kEventParamMod);
    modulations.add(0, 0, 3.0, clap::kEventParamMod);
    runClap(fresh, modulator, carrier, b, other, &modulations);
    EXPECT_EQ(a, b) << "the reset instance plays value and modulations, from silent filters";
    for (Instance* in : {&modulated, &plain, &loaded, &automated, &fresh}) in->plugin->deactivate(in->plugin);
}

// Inputs silent for the tail the plug-in reports: it sleeps, writing
// silence flagged constant, and wakes for sound or a parameter event with
// its filters as a fresh instance's. The tail follows the bands: when sleep
// cuts the ringing, the output has fallen 100 dB below its peak, for wide
// bands (the defaults) and for the narrowest low ones, which ring on for
// seconds (at 80 Hz about 9 s; at 20 Hz 37 s); a change of it is told.
TEST(ClapProcess, SleepsOnSilenceOnceRungOutAndWakesAsFresh) {
    constexpr int kBlock = 4800;  // 0.1 s
    constexpr double kHz = 2.0 * 3.141592653589793 / kRate;
    const struct {
        const char* name;
        std::vector<std::pair<clap::Id, double>> values;
        double modulator, carrier;  // radians a frame
    } cases[] = {
        {"defaults", {}, 0.03, 0.011},
        {"narrowest bands, 80 to 160 Hz, +20 dB",
         {{0, 2.0}, {1, 3.0}, {2, 0.0}, {3, 2.0}, {4, 3.0}, {5, 0.0}, {8, 20.0}}, 80.0 * kHz, 80.5 * kHz},
    };
    const std::vector<float> silence(kBlock, 0.0f);
    std::vector<float> outL(kBlock), outR(kBlock);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto modulator = toneWithNoise(10 * kBlock, c.modulator, 7);
        const auto carrier = toneWithNoise(10 * kBlock, c.carrier, 8);
        const auto block = [](const std::vector<float>& v, int b) {
            return std::vector<float>(v.begin() + b * kBlock, v.begin() + (b + 1) * kBlock);
        };
        Instance in;
        ASSERT_NE(in.plugin, nullptr);
        setValues(in, c.values);
        ASSERT_TRUE(in.plugin->activate(in.plugin, kRate, 1, kBlock));
        const std::uint32_t tail = in.ext<clap::PluginTail>(clap::kExtTail)->get(in.plugin);
        ASSERT_LT(tail, 60 * kRate);
        std::uint64_t mask = 0;
        float peak = 0.0f, last = 0.0f;
        for (int b = 0; b < 10; ++b) {
            EXPECT_EQ(runClap(in, block(modulator, b), block(carrier, b), outL, outR), clap::kProcessContinue);
            for (float x : outL) peak = std::max(peak, std::fabs(x));
        }
        for (std::uint32_t quiet = 0; quiet < tail; quiet += kBlock) {
            ASSERT_EQ(runClap(in, silence, silence, outL, outR), clap::kProcessContinue) << "ringing at " << quiet;
            last = 0.0f;
            for (float x : outL) last = std::max(last, std::fabs(x));
        }
        EXPECT_LE(last, 1e-5f * peak) << "the ringing sleep cuts, against the peak " << peak;
        std::fill(outL.begin(), outL.end(), 1.0f);
        std::fill(outR.begin(), outR.end(), 1.0f);
        EXPECT_EQ(runClap(in, silence, silence, outL, outR, nullptr, &mask), clap::kProcessSleep);
        EXPECT_EQ(outL, silence);
        EXPECT_EQ(outR, silence);
        EXPECT_EQ(mask, 3u) << "both channels constant";
        InEvents events;
        events.add(0, 8, -6.0);
        EXPECT_EQ(runClap(in, silence, silence, outL, outR, &events), clap::kProcessContinue);
        EXPECT_EQ(runClap(in, silence, silence, outL, outR), clap::kProcessSleep);
        EXPECT_EQ(runClap(in, block(modulator, 0), block(carrier, 0), outL, outR, nullptr, &mask),
                  clap::kProcessContinue);
        EXPECT_EQ(mask, 0u);
        // Wider bands ring shorter: the host hears of it and asks again.
        EXPECT_EQ(in.host.tailChanges, 0);
        InEvents wider;
        wider.add(0, 2, 100.0);
        wider.add(0, 5, 100.0);
        std::vector<float> otherL(kBlock), otherR(kBlock);
        runClap(in, silence, silence, otherL, otherR, &wider);
        EXPECT_EQ(in.host.tailChanges, 1);
        EXPECT_LT(in.ext<clap::PluginTail>(clap::kExtTail)->get(in.plugin), tail);
        in.plugin->deactivate(in.plugin);

        TestHost host;
        AEffect* e = host.loadOrFail(PluginLibrary::entry());
        host.dispatch(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
        for (const auto& [id, v] : c.values) e->setParameter(e, static_cast<int>(id), normalisedOf(id, v));
        e->setParameter(e, 8, normalisedOf(8, -6.0));
        std::vector<float> expected(kBlock), other(kBlock);
        processBlock(e, modulator.data(), carrier.data(), expected.data(), other.data(), kBlock);
        host.close(e);
        int differing = 0;
        for (int i = 0; i < kBlock; ++i) differing += bitsOf(outL[i]) != bitsOf(expected[i]);
        EXPECT_EQ(differing, 0) << "the first block after waking is a fresh instance's";
    }
}

// Bypassed by the host at a sample inside a block: the main input's two
// channels come out unchanged (stereo stays stereo) once the 10 ms fade is
// over; switched back, the sound is that of an instance never bypassed, as
// the filters ran on. The switch is saved with the state and a state loaded
// before activation takes effect at once.
TEST(ClapProcess, BypassPassesTheMainInputFadesBackAndIsSaved) {
    constexpr int kBlock = 2048, kAt = 100, kFade = 480;  // 10 ms at 48 kHz
    const auto modulator = toneWithNoise(kBlock, 0.03, 11), carrier = toneWithNoise(kBlock, 0.011, 12);
    std::vector<float> l(kBlock), r(kBlock), plainL(kBlock), plainR(kBlock);
    Instance in, plain;
    ASSERT_TRUE(in.plugin && plain.plugin);
    for (Instance* i : {&in, &plain}) ASSERT_TRUE(i->plugin->activate(i->plugin, kRate, 1, kBlock));
    InEvents on;
    on.add(kAt, 9, 1.0);
    runClap(in, modulator, carrier, l, r, &on);
    runClap(plain, modulator, carrier, plainL, plainR);
    EXPECT_TRUE(std::equal(l.begin(), l.begin() + kAt, plainL.begin())) << "before the switch";
    EXPECT_NE(l[kAt + kFade / 2], plainL[kAt + kFade / 2]);
    EXPECT_NE(l[kAt + kFade / 2], modulator[kAt + kFade / 2]);
    EXPECT_TRUE(std::equal(l.begin() + kAt + kFade, l.end(), modulator.begin() + kAt + kFade));
    EXPECT_TRUE(std::equal(r.begin() + kAt + kFade, r.end(), carrier.begin() + kAt + kFade));
    EXPECT_EQ(in.value(9), 1.0);

    Instance restored;
    ASSERT_NE(restored.plugin, nullptr);
    Reader state{save(in)};
    ASSERT_TRUE(restored.ext<clap::PluginState>(clap::kExtState)->load(restored.plugin, &state.stream));
    EXPECT_EQ(restored.value(9), 1.0);
    ASSERT_TRUE(restored.plugin->activate(restored.plugin, kRate, 1, kBlock));
    std::vector<float> restoredL(kBlock), restoredR(kBlock);
    runClap(restored, modulator, carrier, restoredL, restoredR);
    EXPECT_EQ(restoredL, modulator) << "bypassed from the first frame";

    InEvents off;
    off.add(0, 9, 0.0);
    runClap(in, modulator, carrier, l, r, &off);
    runClap(plain, modulator, carrier, plainL, plainR);
    EXPECT_TRUE(std::equal(l.begin() + kFade, l.end(), plainL.begin() + kFade)) << "the filters ran on";
    for (Instance* i : {&in, &plain, &restored}) i->plugin->deactivate(i->plugin);
}

// A step of the mix, the boost or the shift at a sample inside a block
// glides from that sample: no click.
class ClapSteppedChange : public ::testing::TestWithParam<Step> {};

TEST_P(ClapSteppedChange, DoesNotClick) {
    const Step& step = GetParam();
    constexpr long kBlock = 512, kFrames = 188 * kBlock, kStepAt = 48105;  // inside the block at 47616
    const auto id = static_cast<clap::Id>(step.slot);
    std::vector<float> mod, car, outL(kBlock), outR(kBlock), out;
    lowTones(mod, car, kFrames, kRate);
    Instance in;
    ASSERT_NE(in.plugin, nullptr);
    ASSERT_TRUE(in.plugin->activate(in.plugin, kRate, 1, kBlock));
    for (long at = 0; at < kFrames; at += kBlock) {
        InEvents events;
        if (at == 0) {
            events.add(0, 6, 0.0);
            events.add(0, 8, valueOf(8, step.boost));
            events.add(0, id, valueOf(id, step.from));
        }
        if (kStepAt >= at && kStepAt < at + kBlock)
            events.add(static_cast<std::uint32_t>(kStepAt - at), id, valueOf(id, step.to));
        const std::vector<float> m(mod.begin() + at, mod.begin() + at + kBlock),
            c(car.begin() + at, car.begin() + at + kBlock);
        runClap(in, m, c, outL, outR, &events);
        out.insert(out.end(), outL.begin(), outL.end());
    }
    EXPECT_LE(clickRatio(out, kStepAt, kRate), 2.0);
    in.plugin->deactivate(in.plugin);
}

INSTANTIATE_TEST_SUITE_P(Clap, ClapSteppedChange, ::testing::ValuesIn(kSteps),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ClapState, RoundTripsTheWholeBankAndRefusesBadStreams) {
    Instance a, b;
    ASSERT_NE(a.plugin, nullptr);
    ASSERT_NE(b.plugin, nullptr);
    setValues(a, {{0, 5.0}, {8, -6.0}});  // into program 7
    ASSERT_TRUE(loadPreset(a, "2"));
    setValues(a, {{6, 5.0}, {10, 1.0}, {14, 1.0}, {17, 57.0}});  // into program 2, the synth's too
    const auto bytes = save(a);
    ASSERT_FALSE(bytes.empty());

    const auto* state = b.ext<clap::PluginState>(clap::kExtState);
    Reader trickle{bytes, 1};
    ASSERT_TRUE(state->load(b.plugin, &trickle.stream));
    EXPECT_GT(b.host.rescans, 0);
    for (clap::Id id = 0; id < 18; ++id) EXPECT_EQ(b.value(id), a.value(id)) << id;
    EXPECT_EQ(b.value(17), 57.0) << "the drone's step";
    EXPECT_EQ(save(b), bytes);
    ASSERT_TRUE(loadPreset(b, "7"));
    EXPECT_DOUBLE_EQ(b.value(0), 5.0) << "the other programs came along";

    setValues(b, {{7, 0.9}});
    const auto before = save(b);
    auto flipped = bytes;
    flipped[0] ^= 0x5A;
    auto longer = bytes;
    longer.push_back(0);
    const struct {
        const char* what;
        Reader reader;
    } bad[] = {{"empty", Reader{{}}},
               {"truncated", Reader{{bytes.begin(), bytes.end() - 1}}},
               {"a byte too many", Reader{longer}},
               {"bad first byte", Reader{flipped}},
               {"read error", Reader{bytes, 7, bytes.size() / 2}}};
    for (const auto& c : bad) {
        Reader reader = c.reader;
        reader.stream.ctx = &reader;
        EXPECT_FALSE(state->load(b.plugin, &reader.stream)) << c.what;
        EXPECT_EQ(save(b), before) << c.what << " changed the sound";
    }
    Writer failing;
    failing.fail = true;
    EXPECT_FALSE(state->save(b.plugin, &failing.stream));
    Writer trickling;
    trickling.chunk = 3;
    EXPECT_TRUE(state->save(b.plugin, &trickling.stream));
    EXPECT_EQ(trickling.bytes, before);
}

struct Indexer {
    std::vector<clap::PresetLocation> locations;
    clap::PresetIndexer clap{clap::kVersion, "tests", "", "", "1", this,
                             [](const clap::PresetIndexer*, const clap::PresetFiletype*) { return true; },
                             [](const clap::PresetIndexer* i, const clap::PresetLocation* l) {
                                 static_cast<Indexer*>(i->indexer_data)->locations.push_back(*l);
                                 return true;
                             },
                             [](const clap::PresetIndexer*, const clap::PresetSoundpack*) { return true; },
                             [](const clap::PresetIndexer*, const char*) -> const void* { return nullptr; }};
};

struct Receiver {
    std::vector<std::string> names, keys, pluginIds, descriptions;
    std::vector<std::uint32_t> flags;
    clap::PresetMetadataReceiver clap{
        this,
        [](const clap::PresetMetadataReceiver*, std::int32_t, const char*) {},
        [](const clap::PresetMetadataReceiver* r, const char* name, const char* key) {
            auto* self = static_cast<Receiver*>(r->receiver_data);
            self->names.push_back(name);
            self->keys.push_back(key);
            return true;
        },
        [](const clap::PresetMetadataReceiver* r, const clap::UniversalPluginId* id) {
            static_cast<Receiver*>(r->receiver_data)->pluginIds.push_back(std::string(id->abi) + ":" + id->id);
        },
        [](const clap::PresetMetadataReceiver*, const char*) {},
        [](const clap::PresetMetadataReceiver* r, std::uint32_t given) {
            static_cast<Receiver*>(r->receiver_data)->flags.push_back(given);
        },
        [](const clap::PresetMetadataReceiver*, const char*) {},
        [](const clap::PresetMetadataReceiver* r, const char* text) {
            static_cast<Receiver*>(r->receiver_data)->descriptions.push_back(text);
        },
        [](const clap::PresetMetadataReceiver*, std::uint64_t, std::uint64_t) {},
        [](const clap::PresetMetadataReceiver*, const char*) {},
        [](const clap::PresetMetadataReceiver*, const char*, const char*) {}};
};

// The eight programs, then the factory presets with their descriptions,
// all factory content. A program's key switches to it; a factory preset's
// loads into the current program, and stays as it was for the next load.
TEST(ClapPresets, TheProgramsAndFactoryPresetsAreDiscoveredAndLoaded) {
    const clap::PluginEntry* e = entry();
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(e->init("a"));
    const auto* f = static_cast<const clap::PresetDiscoveryFactory*>(
        e->get_factory(clap::kPresetDiscoveryFactoryId));
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->count(f), 1u);
    const clap::PresetProviderDescriptor* d = f->get_descriptor(f, 0);
    ASSERT_NE(d, nullptr);
    Indexer indexer;
    const clap::PresetProvider* provider = f->create(f, &indexer.clap, d->id);
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->init(provider));
    ASSERT_EQ(indexer.locations.size(), 1u);
    EXPECT_EQ(indexer.locations[0].kind, clap::kPresetLocationPlugin);
    EXPECT_EQ(indexer.locations[0].location, nullptr);
    Receiver receiver;
    EXPECT_TRUE(provider->get_metadata(provider, clap::kPresetLocationPlugin, nullptr, &receiver.clap));
    provider->destroy(provider);
    e->deinit();
    std::vector<std::string> names, keys, descriptions;
    for (int i = 0; i < 8; ++i) {
        names.push_back("Preset " + std::to_string(i));
        keys.push_back(std::to_string(i));
    }
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        names.push_back(kFactoryPresetTexts[i].name);
        descriptions.push_back(kFactoryPresetTexts[i].about);
    }
    const std::size_t count = 8 + kFactoryPresetCount;
    EXPECT_EQ(receiver.names, names);
    EXPECT_EQ(receiver.descriptions, descriptions);
    EXPECT_EQ(receiver.flags, std::vector<std::uint32_t>(count, clap::kPresetIsFactoryContent));
    EXPECT_EQ(receiver.pluginIds, std::vector<std::string>(count, "clap:brindlex.halvorine"));

    // Each program's key loads its program, as the VST 2 library's program
    // switch does.
    Instance in;
    ASSERT_NE(in.plugin, nullptr);
    setValues(in, {{8, -6.0}});
    for (std::size_t i = 0; i < 8; ++i) {
        ASSERT_TRUE(loadPreset(in, receiver.keys[i].c_str())) << receiver.keys[i];
        EXPECT_DOUBLE_EQ(in.value(8), i == 7 ? -6.0 : 10.0) << receiver.keys[i];
    }
    EXPECT_EQ(in.host.presetsLoaded, keys);

    // A factory preset: the current program (7) takes its values and name,
    // the others stay; loaded again after an edit, it is as it was.
    constexpr std::size_t kRecord = 64 + 4 * 19, kProgram7 = 12 + 7 * kRecord;
    const auto bankBefore = save(in);
    for (std::size_t i = 8; i < count; ++i) {
        const FactoryPreset& p = factoryPresets()[i - 8];
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_TRUE(loadPreset(in, receiver.keys[i].c_str())) << receiver.keys[i];
            const auto bank = save(in);
            EXPECT_TRUE(std::equal(bank.begin(), bank.begin() + kProgram7, bankBefore.begin())) << p.name;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bank.data() + kProgram7)), p.name);
            EXPECT_EQ(std::memcmp(bank.data() + kProgram7 + 64, p.values, 76), 0) << p.name;
            setValues(in, {{8, -6.0}, {0, 3.0}});
        }
    }
    ASSERT_TRUE(loadPreset(in, "7"));
    EXPECT_FALSE(loadPreset(in, "8"));
    EXPECT_FALSE(loadPreset(in, "0", clap::kPresetLocationFile, "/tmp/x"));
    EXPECT_FALSE(loadPreset(in, "factory:band vocoder"));
    EXPECT_EQ(in.host.presetErrors, (std::vector<std::string>{"8", "0", "factory:band vocoder"}));
    EXPECT_DOUBLE_EQ(in.value(8), -6.0) << "a failed load leaves the current sound";
}

// The main thread saves, loads, switches presets and reads values while the
// audio thread processes with automation: ThreadSanitizer finds any race.
TEST(ClapThreads, MainThreadCallsRunBesideProcessing) {
    Instance in;
    ASSERT_NE(in.plugin, nullptr);
    ASSERT_TRUE(in.plugin->activate(in.plugin, kRate, 1, 256));
    const auto bytes = save(in);
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> l = toneWithNoise(256, 0.03, 5), r = toneWithNoise(256, 0.01, 6);
        std::vector<float> outL(256), outR(256);
        float* mainData[2] = {l.data(), r.data()};
        float* outData[2] = {outL.data(), outR.data()};
        const clap::AudioBuffer inputs[1] = {{mainData, nullptr, 2, 0, 0}};
        clap::AudioBuffer outputs[1] = {{outData, nullptr, 2, 0, 0}};
        InEvents events;
        events.add(17, 8, -6.0);
        events.add(100, 0, 5.0);
        events.add(120, 2, 20.0, clap::kEventParamMod);
        const clap::Process process{-1, 256, nullptr, inputs, outputs, 1, 1, &events.list, nullptr};
        in.plugin->start_processing(in.plugin);
        const auto* tail = in.ext<clap::PluginTail>(clap::kExtTail);
        for (int i = 0; i < 300 || !done.load(); ++i) {
            in.plugin->process(in.plugin, &process);
            tail->get(in.plugin);  // the tail of whichever design, beside the main thread's
        }
        in.plugin->stop_processing(in.plugin);
    });
    const auto* state = in.ext<clap::PluginState>(clap::kExtState);
    const auto* tail = in.ext<clap::PluginTail>(clap::kExtTail);
    for (int i = 0; i < 200; ++i) {
        Reader reader{bytes};
        EXPECT_TRUE(state->load(in.plugin, &reader.stream));
        EXPECT_TRUE(loadPreset(in, i % 2 ? "3" : "7"));
        EXPECT_TRUE(loadPreset(in, i % 3 ? "factory:Glass" : "factory:Mirror"));
        EXPECT_EQ(save(in).size(), bytes.size());
        in.value(static_cast<clap::Id>(i % 9));
        tail->get(in.plugin);
    }
    done = true;
    audio.join();
    in.plugin->deactivate(in.plugin);
}

// ------------------------------------------------------------------- the editor

// What the editor did waits in a queue until the host next takes events.
// However long the host leaves it full, each drag reaches the host framed
// by its gesture begin and end, ending on its last value; and an event the
// host refuses stays first in line.
TEST(ClapEditorQueue, KeepsEveryGestureWholeWhenFullOrRefused) {
    using clap::EditorEvent;
    clap::EditorQueue queue;
    std::vector<EditorEvent> got;
    int refuse = 0;  // how many events the host refuses next
    const auto drain = [&] {
        queue.drain([&](const EditorEvent& e) {
            if (refuse > 0 && refuse--) return false;
            got.push_back(e);
            return true;
        });
    };
    // A drag of Boost overflows the queue; one of Mix begins while it is still full.
    queue.push({EditorEvent::Begin, 8, 0.0f});
    for (int i = 1; i <= 3000; ++i) queue.push({EditorEvent::Value, 8, static_cast<float>(i) / 4096.0f});
    queue.push({EditorEvent::Begin, 7, 0.0f});
    queue.push({EditorEvent::Value, 7, 0.25f});
    queue.push({EditorEvent::End, 8, 0.0f});
    refuse = 1;
    drain();
    EXPECT_TRUE(got.empty()) << "the refused event went";
    drain();
    queue.push({EditorEvent::Value, 7, 0.5f});
    queue.push({EditorEvent::End, 7, 0.0f});
    drain();
    for (const int id : {8, 7}) {
        SCOPED_TRACE(id);
        std::vector<EditorEvent> drag;
        std::copy_if(got.begin(), got.end(), std::back_inserter(drag),
                     [&](const EditorEvent& e) { return e.id == id; });
        ASSERT_GE(drag.size(), 3u);
        EXPECT_EQ(drag.front().kind, EditorEvent::Begin);
        EXPECT_EQ(drag.back().kind, EditorEvent::End);
        for (std::size_t i = 1; i + 1 < drag.size(); ++i) {
            EXPECT_EQ(drag[i].kind, EditorEvent::Value) << i;
            if (i > 1) {
                EXPECT_GT(drag[i].value, drag[i - 1].value) << "in order";
            }
        }
        EXPECT_EQ(drag[drag.size() - 2].value, id == 8 ? 3000.0f / 4096.0f : 0.5f) << "the last value";
    }
}

#if defined(HALVORINE_CLAP_GUI_TESTS)
constexpr int kLeft = 60, kTop = 90;  // the host window on the root
constexpr editor::Rect kBoostSlider{260, 80, 100, 13};

// A host that offers nothing (as one probing for an editor from a throwaway
// instance does) is told what the plug-in can show; only creating the
// editor needs the host's timer.
TEST(ClapGui, AProbeWithoutExtensionsIsOfferedTheEditor) {
    Instance probe(ClapHost::Offers::Nothing);
    ASSERT_NE(probe.plugin, nullptr);
    const auto* gui = probe.ext<clap::PluginGui>(clap::kExtGui);
    ASSERT_NE(gui, nullptr);
    EXPECT_TRUE(gui->is_api_supported(probe.plugin, "x11", false));
    EXPECT_FALSE(gui->is_api_supported(probe.plugin, "x11", true));
    EXPECT_FALSE(gui->is_api_supported(probe.plugin, "win32", false));
    EXPECT_FALSE(gui->create(probe.plugin, "x11", false)) << "no timer to drive the editor";
}

// The editor on a host with a timer and the X connection's descriptor, and
// on one with a timer alone (the connection is then read on each tick).
class ClapGuiX11 : public ::testing::TestWithParam<ClapHost::Offers> {};
INSTANTIATE_TEST_SUITE_P(Hosts, ClapGuiX11,
                         ::testing::Values(ClapHost::Offers::TimerAndFds, ClapHost::Offers::Timer),
                         [](const auto& host) {
                             return host.param == ClapHost::Offers::Timer ? "TimerOnly" : "TimerAndFds";
                         });

TEST_P(ClapGuiX11, EmbedsTheEditorOnTheHostsTimerAndSendsGestures) {
    const bool fds = GetParam() == ClapHost::Offers::TimerAndFds;
    Instance in(GetParam());
    ASSERT_NE(in.plugin, nullptr);
    const clap::Plugin* p = in.plugin;
    const auto* gui = in.ext<clap::PluginGui>(clap::kExtGui);
    ASSERT_NE(gui, nullptr);
    const auto* timer = in.ext<clap::PluginTimerSupport>(clap::kExtTimerSupport);
    const auto* fd = in.ext<clap::PluginPosixFdSupport>(clap::kExtPosixFdSupport);
    ASSERT_TRUE(timer && fd);
    EXPECT_TRUE(gui->is_api_supported(p, "x11", false));
    ASSERT_TRUE(gui->create(p, "x11", false));
    // The size follows the host's scale where the editor draws it exactly
    // (whole factors 1 to 3); any other factor is refused and changes nothing.
    const auto size = [&] {
        std::uint32_t width = 0, height = 0;
        EXPECT_TRUE(gui->get_size(p, &width, &height));
        return std::make_pair(width, height);
    };
    // The panel and the carrier row: 380 x 220 times the factor.
    EXPECT_EQ(size(), std::make_pair(380u, 220u)) << "1 on Xvfb without a factor";
    const struct {
        double factor;
        bool applied;
        std::uint32_t width;
    } scales[] = {{2.0, true, 760},  {2.5, false, 760},  {1.0, true, 380},      {1.5, false, 380},
                  {3.0, true, 1140}, {4.0, false, 1140}, {0.5, false, 1140},    {0.0, false, 1140},
                  {NAN, false, 1140}, {1.0, true, 380}};
    for (const auto& s : scales) {
        EXPECT_EQ(gui->set_scale(p, s.factor), s.applied) << s.factor;
        EXPECT_EQ(size(), std::make_pair(s.width, s.width / 380 * 220)) << s.factor;
    }
    EXPECT_FALSE(gui->can_resize(p));

    XHost x;
    ASSERT_TRUE(x.ok());
    const ::Window parent = x.createTopLevel(kLeft, kTop, 380, 220);
    clap::Window window{};
    window.api = "x11";
    window.x11 = parent;
    ASSERT_TRUE(gui->set_parent(p, &window));
    ASSERT_TRUE(gui->show(p));
    ASSERT_EQ(in.host.timers.size(), 1u);
    ASSERT_EQ(in.host.fds.size(), fds ? 1u : 0u);
    const auto children = x.children(parent);
    ASSERT_EQ(children.size(), 1u);
    // A new factor while the window exists: the host is asked to resize, and back.
    EXPECT_TRUE(gui->set_scale(p, 2.0));
    EXPECT_EQ(size(), std::make_pair(760u, 440u));
    EXPECT_FALSE(gui->set_scale(p, 1.5));
    EXPECT_EQ(size(), std::make_pair(760u, 440u));
    EXPECT_TRUE(gui->set_scale(p, 1.0));
    EXPECT_EQ(in.host.resizes, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{760, 440}, {380, 220}}));

    // The host's reactor: the X connection's input, then the timer. Its
    // event queue refuses every second event: none may be lost or reordered.
    OutEvents out;
    out.refuseEvery = 2;
    const auto pump = [&] {
        pollfd watched{fds ? in.host.fds[0] : -1, POLLIN, 0};
        if (fds && poll(&watched, 1, 0) > 0) fd->on_fd(p, watched.fd, clap::kFdRead);
        timer->on_timer(p, in.host.timers[0]);
        in.params().flush(p, nullptr, &out.list);
    };
    // A press at X = 30 of Boost (-10 dB), a drag past the right end (+20 dB), the release.
    x.moveTo(kLeft + kBoostSlider.left + 30, kTop + kBoostSlider.top + 6);
    x.button(1, true);
    EXPECT_TRUE(pumpUntil(pump, [&] { return out.events.size() >= 2; }));
    x.moveTo(kLeft + 380 + 40, kTop + kBoostSlider.top + 6);
    EXPECT_TRUE(pumpUntil(pump, [&] { return !out.events.empty() && out.events.back().value == 20.0; }));
    x.button(1, false);
    EXPECT_TRUE(pumpUntil(pump, [&] { return out.events.back().type == clap::kEventParamGestureEnd; }));
    EXPECT_GT(in.host.flushRequests, 0);
    ASSERT_GE(out.events.size(), 4u);
    EXPECT_EQ(out.events.front(), (OutEvent{clap::kEventParamGestureBegin, 8, 0.0}));
    EXPECT_EQ(out.events[1], (OutEvent{clap::kEventParamValue, 8, -10.0}));
    for (std::size_t i = 1; i + 1 < out.events.size(); ++i)
        EXPECT_EQ(out.events[i].type, clap::kEventParamValue) << i;
    EXPECT_DOUBLE_EQ(in.value(8), 20.0) << "the effect took the editor's value";
    // Three wheel notches down in one gesture, then a Ctrl-click to the default.
    out.events.clear();
    x.moveTo(kLeft + kBoostSlider.left + 50, kTop + kBoostSlider.top + 6);
    for (int i = 0; i < 3; ++i) {
        x.button(5, true);
        x.button(5, false);
    }
    EXPECT_TRUE(pumpUntil(pump, [&] { return out.events.size() == 5; }));
    x.control(true);
    x.button(1, true);
    x.button(1, false);
    x.control(false);
    EXPECT_TRUE(pumpUntil(pump, [&] { return out.events.size() == 8; }));
    const OutEvent habits[] = {{clap::kEventParamGestureBegin, 8, 0.0}, {clap::kEventParamValue, 8, 19.6},
                               {clap::kEventParamValue, 8, 19.2},       {clap::kEventParamValue, 8, 18.8},
                               {clap::kEventParamGestureEnd, 8, 0.0},   {clap::kEventParamGestureBegin, 8, 0.0},
                               {clap::kEventParamValue, 8, 10.0},       {clap::kEventParamGestureEnd, 8, 0.0}};
    ASSERT_EQ(out.events.size(), std::size(habits));
    for (std::size_t i = 0; i < std::size(habits); ++i) {
        EXPECT_EQ(out.events[i].type, habits[i].type) << i;
        EXPECT_EQ(out.events[i].id, habits[i].id) << i;
        EXPECT_NEAR(out.events[i].value, habits[i].value, 1e-5) << i;
    }

    // A press at the right end of the carrier row's Octave (25, 193): +2 on
    // the synth's octave, id 14.
    out.events.clear();
    x.moveTo(kLeft + 25 + 67, kTop + 193 + 6);
    x.button(1, true);
    x.button(1, false);
    EXPECT_TRUE(pumpUntil(pump, [&] { return out.events.size() == 3; }));
    EXPECT_EQ(out.events, (std::vector<OutEvent>{{clap::kEventParamGestureBegin, 14, 0.0},
                                                 {clap::kEventParamValue, 14, 2.0},
                                                 {clap::kEventParamGestureEnd, 14, 0.0}}));
    EXPECT_DOUBLE_EQ(in.value(14), 2.0);

    // A value from the host moves the slider.
    x.moveTo(kLeft + 500, kTop + 300);
    for (int i = 0; i < 5; ++i) pump();
    const editor::Canvas before = x.capture(children[0]);
    setValues(in, {{8, -20.0}});
    EXPECT_TRUE(pumpUntil(pump, [&] {
        const editor::Canvas now = x.capture(children[0]);
        for (int y = kBoostSlider.top; y < kBoostSlider.top + kBoostSlider.height; ++y)
            for (int col = kBoostSlider.left; col < kBoostSlider.left + kBoostSlider.width; ++col)
                if (now.width() == 380 && now.at(col, y) != before.at(col, y)) return true;
        return false;
    }));

    gui->destroy(p);
    EXPECT_TRUE(in.host.timers.empty());
    EXPECT_TRUE(in.host.fds.empty());
    EXPECT_TRUE(x.children(parent).empty());
    x.destroy(parent);
}
#endif

#if defined(_WIN32)
// The host's message loop for a while.
void pumpMessages(int milliseconds) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    for (MSG msg; static_cast<LONG>(end - GetTickCount()) > 0;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(1);
    }
}

TEST(ClapGui, EmbedsTheEditorInAWin32WindowAndSendsGestures) {
    Instance in;
    ASSERT_NE(in.plugin, nullptr);
    const clap::Plugin* p = in.plugin;
    const auto* gui = in.ext<clap::PluginGui>(clap::kExtGui);
    ASSERT_NE(gui, nullptr);
    EXPECT_FALSE(gui->is_api_supported(p, "x11", false));
    {
        Instance probe(ClapHost::Offers::Nothing);
        ASSERT_NE(probe.plugin, nullptr);
        const auto* probed = probe.ext<clap::PluginGui>(clap::kExtGui);
        ASSERT_NE(probed, nullptr);
        EXPECT_TRUE(probed->is_api_supported(probe.plugin, "win32", false));
        EXPECT_FALSE(probed->is_api_supported(probe.plugin, "win32", true));
    }
    ASSERT_TRUE(gui->create(p, "win32", false));
    HWND parent = CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                  420, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    clap::Window window{};
    window.api = "win32";
    window.win32 = parent;
    ASSERT_TRUE(gui->set_parent(p, &window));
    ASSERT_TRUE(gui->show(p));
    HWND child = GetWindow(parent, GW_CHILD);
    ASSERT_NE(child, nullptr);
    RECT r{};
    GetClientRect(child, &r);
    EXPECT_EQ(r.right - r.left, 380);
    EXPECT_EQ(r.bottom - r.top, 220);
    // A click at X = 30 of the Boost slider (260, 80): -10 dB. The pointer is
    // put there too, so that moves Wine makes from it during the capture stay there.
    POINT point{260 + 30, 80 + 6};
    ClientToScreen(child, &point);
    SetCursorPos(point.x, point.y);
    const LPARAM at = MAKELPARAM(260 + 30, 80 + 6);
    PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, at);
    pumpMessages(30);
    PostMessageW(child, WM_LBUTTONUP, 0, at);
    pumpMessages(30);
    OutEvents out;
    in.params().flush(p, nullptr, &out.list);
    EXPECT_GT(in.host.flushRequests, 0);
    ASSERT_GE(out.events.size(), 3u);
    EXPECT_EQ(out.events.front(), (OutEvent{clap::kEventParamGestureBegin, 8, 0.0}));
    for (std::size_t i = 1; i + 1 < out.events.size(); ++i)
        EXPECT_EQ(out.events[i], (OutEvent{clap::kEventParamValue, 8, -10.0})) << i;
    EXPECT_EQ(out.events.back(), (OutEvent{clap::kEventParamGestureEnd, 8, 0.0}));
    gui->destroy(p);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    DestroyWindow(parent);
}
#endif

}  // namespace
}  // namespace halvorine::test
