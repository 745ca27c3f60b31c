// The LV2 bundle as an LV2 host sees it: lilv loads it from the build tree
// by its URI, the description is checked against the published port table,
// and the plug-in renders the same bits as the VST 2 library at the same
// normalised values.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "factory_presets.h"
#include "dsp/numeric.h"
#include "dsp/ring_modulator.h"
#include "note_events.h"
#include "ports.h"
#include "support/plugin_host.h"

// Every allocation in the process, the plug-in's included, goes through
// this program's operator new (alloc_count.cpp), which counts while asked to.
namespace halvorine::test {
void countAllocations(bool on);
long allocationsCounted();
}  // namespace halvorine::test

namespace halvorine::test {
namespace {

namespace lv2 = halvorine::lv2;

constexpr const char* kLv2 = "http://lv2plug.in/ns/lv2core#";
constexpr const char* kUnits = "http://lv2plug.in/ns/extensions/units#";

// The world with the bundle of this build loaded, shared by all tests.
class Bundle {
public:
    static Bundle& get() {
        static Bundle bundle;
        return bundle;
    }
    LilvWorld* world = lilv_world_new();
    const LilvPlugin* plugin = nullptr;

    LilvNode* node(const std::string& uri) {
        auto& n = nodes_[uri];
        if (!n) n = lilv_new_uri(world, uri.c_str());
        return n;
    }

private:
    Bundle() {
        LilvNode* dir = lilv_new_file_uri(world, nullptr, HALVORINE_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, dir);
        lilv_node_free(dir);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node(lv2::kPluginUri));
    }
    std::map<std::string, LilvNode*> nodes_;
};

std::string text(const LilvNode* n) { return n ? lilv_node_as_string(n) : "(none)"; }

// The object of subject-predicate in the bundle's data, as text.
std::string get(const LilvNode* subject, const std::string& predicate) {
    Bundle& b = Bundle::get();
    LilvNode* n = lilv_world_get(b.world, subject, b.node(predicate), nullptr);
    std::string t = text(n);
    lilv_node_free(n);
    return t;
}

// The ports as the plug-in's users are told of them, audio ports first.
struct ExpectedPort {
    const char* symbol;
    const char* name;
    const char* unit;  // in the units vocabulary; "bands" is our own
    float minimum, maximum, defaultValue;
    const char* property;  // lv2 port property, or ""
};
constexpr const char* kLog = "http://lv2plug.in/ns/ext/port-props#logarithmic";
constexpr const char* kInteger = "http://lv2plug.in/ns/lv2core#integer";
constexpr const char* kSideChain = "http://lv2plug.in/ns/lv2core#isSideChain";
constexpr const char* kToggled = "http://lv2plug.in/ns/lv2core#toggled";
constexpr ExpectedPort kExpected[] = {
    {"mod_in", "Modulator", "", 0, 0, 0, ""},
    {"carr_in", "Carrier", "", 0, 0, 0, kSideChain},
    {"out_l", "Out L", "", 0, 0, 0, ""},
    {"out_r", "Out R", "", 0, 0, 0, ""},
    {"mod_start", "Mod Start Freq", "hz", 20, 20480, 20, kLog},
    {"mod_finish", "Mod Finish Freq", "hz", 20, 20480, 20480, kLog},
    {"mod_q", "Mod Freq Q", "pc", 0, 100, 50, ""},
    {"carr_start", "Carr Start Freq", "hz", 20, 20480, 20, kLog},
    {"carr_finish", "Carr Finish Freq", "hz", 20, 20480, 20480, kLog},
    {"carr_q", "Carr Freq Q", "pc", 0, 100, 50, ""},
    {"shift", "Shift", "bands", 0, 63, 31, kInteger},
    {"mix", "Mix", "coef", 0, 1, 0.5f, ""},
    {"boost", "Boost", "db", -20, 20, 10, ""},
    {"enabled", "Enabled", "", 0, 1, 1, kToggled},  // the host's bypass switch
    // The carrier synth.
    {"carrier", "Carrier", "", 0, 1, 0, kInteger},
    {"synth_wave", "Synth Wave", "", 0, 2, 0, kInteger},
    {"synth_noise", "Synth Noise", "pc", 0, 100, 0, ""},
    {"synth_detune", "Synth Detune", "cent", 0, 50, 10, ""},
    {"synth_octave", "Synth Octave", "", -2, 2, 0, kInteger},
    {"synth_attack", "Synth Attack", "ms", 1, 1000, 10, kLog},
    {"synth_release", "Synth Release", "ms", 5, 5000, 150, kLog},
    {"drone", "Drone", "", 0, 97, 0, kInteger},
};
constexpr std::uint32_t kPorts = sizeof kExpected / sizeof kExpected[0];  // and the notes

TEST(Lv2Bundle, DescribesPortsUnitsRangesAndFeatures) {
    Bundle& b = Bundle::get();
    ASSERT_NE(b.plugin, nullptr) << "no " << lv2::kPluginUri << " in " << HALVORINE_LV2_BUNDLE;
    const LilvPlugin* p = b.plugin;
    ASSERT_EQ(lilv_plugin_get_num_ports(p), kPorts + 1);
    // The last port takes MIDI notes, and a host may leave it unconnected.
    const LilvPort* notes = lilv_plugin_get_port_by_index(p, kPorts);
    EXPECT_EQ(text(lilv_port_get_symbol(p, notes)), "notes");
    EXPECT_TRUE(lilv_port_is_a(p, notes, b.node("http://lv2plug.in/ns/ext/atom#AtomPort")));
    EXPECT_TRUE(lilv_port_supports_event(p, notes, b.node("http://lv2plug.in/ns/ext/midi#MidiEvent")));
    EXPECT_TRUE(lilv_port_has_property(p, notes, b.node(std::string(kLv2) + "connectionOptional")));
    TestHost host;  // the control names are the VST 2 library's parameter names
    AEffect* e = host.loadOrFail(PluginLibrary::entry());
    const std::string lv2 = kLv2, units = kUnits;
    for (std::uint32_t i = 0; i < kPorts; ++i) {
        const ExpectedPort& x = kExpected[i];
        SCOPED_TRACE(x.symbol);
        const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
        EXPECT_TRUE(lilv_port_is_a(p, port, b.node(lv2 + (i < 4 ? "AudioPort" : "ControlPort"))));
        EXPECT_TRUE(lilv_port_is_a(p, port, b.node(lv2 + (i < 2 || i > 3 ? "InputPort" : "OutputPort"))));
        EXPECT_EQ(text(lilv_port_get_symbol(p, port)), x.symbol);
        LilvNode* name = lilv_port_get_name(p, port);
        EXPECT_EQ(text(name), x.name);
        const std::string named = text(name);
        lilv_node_free(name);
        for (const char* property : {kLog, kInteger, kSideChain, kToggled})
            EXPECT_EQ(lilv_port_has_property(p, port, b.node(property)), property == x.property);
        if (i < 4) continue;
        if (i < 13) {
            EXPECT_EQ(named, host.text(e, effGetParamName, static_cast<VstInt32>(i - 4)));
        }
        LilvNode* designation = lilv_port_get(p, port, b.node(lv2 + "designation"));
        EXPECT_EQ(designation != nullptr, i == 13);
        if (designation) {
            EXPECT_EQ(text(designation), lv2 + "enabled");
        }
        lilv_node_free(designation);

        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(p, port, &def, &min, &max);
        EXPECT_NEAR(lilv_node_as_float(def), x.defaultValue, 1e-4f);
        EXPECT_EQ(lilv_node_as_float(min), x.minimum);
        EXPECT_EQ(lilv_node_as_float(max), x.maximum);
        for (LilvNode* n : {def, min, max}) lilv_node_free(n);

        LilvNode* unit = lilv_port_get(p, port, b.node(units + "unit"));
        if (*x.unit) {
            EXPECT_TRUE(text(unit) == units + x.unit || get(unit, units + "symbol") == x.unit)
                << text(unit);
        }
        lilv_node_free(unit);
    }
    host.close(e);

    LilvNode* name = lilv_plugin_get_name(p);
    EXPECT_EQ(text(name), "Halvorine");
    lilv_node_free(name);
    EXPECT_TRUE(lilv_plugin_has_feature(p, b.node(lv2 + "hardRTCapable")));
    EXPECT_FALSE(lilv_plugin_has_feature(p, b.node(lv2 + "inPlaceBroken")));
    LilvNodes* required = lilv_plugin_get_required_features(p);
    EXPECT_EQ(lilv_nodes_size(required), 0u);
    lilv_nodes_free(required);
}

// The bundle's presets are the factory presets, with their names and
// descriptions, and port values in units that give the presets' values
// (within the step of a float in units).
TEST(Lv2Bundle, PresetsAreTheFactoryPresets) {
    Bundle& b = Bundle::get();
    ASSERT_NE(b.plugin, nullptr);
    const std::string lv2 = kLv2, pset = "http://lv2plug.in/ns/ext/presets#",
                      rdfs = "http://www.w3.org/2000/01/rdf-schema#";
    LilvNodes* presets = lilv_plugin_get_related(b.plugin, b.node(pset + "Preset"));
    std::vector<std::string> labels;
    LILV_FOREACH (nodes, i, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, i);
        lilv_world_load_resource(b.world, preset);
        const std::string label = get(preset, rdfs + "label");
        labels.push_back(label);
        const int index = findFactoryPreset(label.c_str());
        ASSERT_GE(index, 0) << label;
        const FactoryPreset& p = factoryPresets()[index];
        EXPECT_EQ(get(preset, rdfs + "comment"), p.about);

        LilvNodes* ports = lilv_world_find_nodes(b.world, preset, b.node(lv2 + "port"), nullptr);
        EXPECT_EQ(lilv_nodes_size(ports), 17u) << label;
        LILV_FOREACH (nodes, j, ports) {
            const LilvNode* port = lilv_nodes_get(ports, j);
            const std::string symbol = get(port, lv2 + "symbol");
            int k = 0;
            while (k < engine::kAllSlots && symbol != std::string(engine::parameterInfo(k).symbol)) ++k;
            ASSERT_TRUE(engine::isNamedSlot(k)) << symbol;
            // A port value is a float in units: some normalised values lie
            // between two of them, and the nearest is as close as it gets.
            EXPECT_NEAR(engine::toNormalised(k, std::stof(get(port, pset + "value"))), p.values[k], 1e-7)
                << label << " " << symbol;
        }
        lilv_nodes_free(ports);
    }
    lilv_nodes_free(presets);
    std::vector<std::string> names;
    for (int i = 0; i < kFactoryPresetCount; ++i) names.emplace_back(factoryPresets()[i].name);
    std::sort(labels.begin(), labels.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(labels, names);
}

// Port values in units to the engine's normalised values.
TEST(Lv2Ports, ConvertUnitsToNormalisedValues) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        int port;
        float units, normalised;
    } cases[] = {
        {0, 20.0f, 0.0f},     {0, 640.0f, 0.5f},    {1, 20480.0f, 1.0f},  {3, 40.0f, 0.1f},
        {4, 5.0f, 0.0f},      {4, 1e9f, 1.0f},      {0, nan, 0.0f},       {2, 50.0f, 0.5f},
        {5, 150.0f, 1.0f},    {5, -5.0f, 0.0f},     {7, 0.25f, 0.25f},    {7, 2.0f, 1.0f},
        {8, -20.0f, 0.0f},    {8, 10.0f, 0.75f},    {8, 20.0f, 1.0f},     {8, -90.0f, 0.0f},
        {6, 31.0f, 0.5f},     {6, -3.0f, dsp::F(0.5 / 63.0)}, {6, 99.0f, 1.0f},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine::toNormalised(c.port, c.units), c.normalised)
            << engine::parameterInfo(c.port).symbol << " " << c.units;

    // n bands on the port shift exactly n bands in the engine, and back.
    for (int n = 0; n <= 63; ++n) {
        const float v = engine::toNormalised(6, n);
        EXPECT_EQ(dsp::roundDown(dsp::F(63.0 * v)), n);
        EXPECT_EQ(engine::toUnits(6, v), n);
        EXPECT_EQ(engine::toNormalised(6, n + 0.4), v) << "a fraction rounds to the nearest count";
    }
    EXPECT_EQ(engine::toUnits(0, 0.5f), 640.0f);
    EXPECT_EQ(engine::toUnits(8, 0.75f), 10.0f);
}

// ----------------------------------------------------------------- rendering

struct Setting {
    float values[9];  // port values in units
};
constexpr Setting kDefaults{{20, 20480, 50, 20, 20480, 50, 31, 0.5f, 10}};
constexpr Setting kOther{{90, 7000, 12, 45, 15000, 80, 5, 0.3f, -6}};
constexpr Setting kMoved{{300, 7000, 12, 45, 15000, 80, 5, 0.7f, -6}};

constexpr double kRate = 48000.0;
constexpr int kBlocks[] = {256, 97, 1, 400, 256};

struct Rendered {
    std::vector<float> left, right;
};

// The VST 2 library with the same normalised values, the same blocks, the
// second setting's changes given between the second and third blocks.
Rendered renderVst(const Setting& first, const Setting& second, const std::vector<float>& mod,
                   const std::vector<float>& carr) {
    TestHost host;
    AEffect* e = host.loadOrFail(PluginLibrary::entry());
    host.dispatch(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    for (int k = 0; k < 9; ++k) e->setParameter(e, k, engine::toNormalised(k, first.values[k]));
    Rendered r{std::vector<float>(mod.size()), std::vector<float>(mod.size())};
    std::size_t at = 0;
    int block = 0;
    for (int frames : kBlocks) {
        if (block++ == 2)
            for (int k = 0; k < 9; ++k)
                if (second.values[k] != first.values[k])
                    e->setParameter(e, k, engine::toNormalised(k, second.values[k]));
        processBlock(e, mod.data() + at, carr.data() + at, r.left.data() + at, r.right.data() + at, frames);
        at += static_cast<std::size_t>(frames);
    }
    host.close(e);
    return r;
}

// The LV2 plug-in through lilv, twice in one instance with a deactivate and
// activate between, which start it afresh. `inPlace` gives it the input
// buffers as outputs (modulator and left, carrier and right).
std::vector<Rendered> renderLv2(const Setting& first, const Setting& second,
                                const std::vector<float>& mod, const std::vector<float>& carr,
                                bool inPlace, long* allocations = nullptr, float enabled = 1.0f) {
    Bundle& b = Bundle::get();
    LilvInstance* instance = lilv_plugin_instantiate(b.plugin, kRate, nullptr);
    EXPECT_NE(instance, nullptr);
    if (!instance) return {};
    float controls[9];
    for (std::uint32_t k = 0; k < 9; ++k) lilv_instance_connect_port(instance, 4 + k, &controls[k]);
    lilv_instance_connect_port(instance, 13, &enabled);
    std::vector<Rendered> passes;
    for (int pass = 0; pass < 2; ++pass) {
        for (int k = 0; k < 9; ++k) controls[k] = first.values[k];
        std::vector<float> modIn = mod, carrIn = carr;
        Rendered r{mod, carr};  // in place: the inputs become the outputs
        if (!inPlace) r = {std::vector<float>(mod.size()), std::vector<float>(mod.size())};
        float* in0 = inPlace ? r.left.data() : modIn.data();
        float* in1 = inPlace ? r.right.data() : carrIn.data();
        lilv_instance_activate(instance);
        std::size_t at = 0;
        int block = 0;
        countAllocations(true);
        for (int frames : kBlocks) {
            if (block++ == 2)
                for (int k = 0; k < 9; ++k) controls[k] = second.values[k];
            lilv_instance_connect_port(instance, 0, in0 + at);
            lilv_instance_connect_port(instance, 1, in1 + at);
            lilv_instance_connect_port(instance, 2, r.left.data() + at);
            lilv_instance_connect_port(instance, 3, r.right.data() + at);
            lilv_instance_run(instance, static_cast<std::uint32_t>(frames));
            at += static_cast<std::size_t>(frames);
        }
        countAllocations(false);
        if (allocations && pass == 0) *allocations = allocationsCounted();
        lilv_instance_deactivate(instance);
        passes.push_back(std::move(r));
    }
    lilv_instance_free(instance);
    return passes;
}

void expectSameBits(const Rendered& lv2Out, const Rendered& vstOut) {
    ASSERT_EQ(lv2Out.left.size(), vstOut.left.size());
    int differing = 0, first = -1;
    for (std::size_t i = 0; i < vstOut.left.size(); ++i)
        if (bitsOf(lv2Out.left[i]) != bitsOf(vstOut.left[i]) ||
            bitsOf(lv2Out.right[i]) != bitsOf(vstOut.right[i])) {
            if (first < 0) first = static_cast<int>(i);
            ++differing;
        }
    EXPECT_EQ(differing, 0) << "first at frame " << first;
}

TEST(Lv2Render, SameBitsAsTheVst2Library) {
    ASSERT_NE(Bundle::get().plugin, nullptr);
    // A rate no filter can be designed at gives no instance.
    for (double rate : {0.0, -44100.0, std::nan(""), HUGE_VAL, 1e300}) {
        LilvInstance* bad = lilv_plugin_instantiate(Bundle::get().plugin, rate, nullptr);
        EXPECT_EQ(bad, nullptr) << rate;
        if (bad) lilv_instance_free(bad);
    }
    int total = 0;
    for (int f : kBlocks) total += f;
    const auto mod = toneWithNoise(total, 0.031, 1), carr = toneWithNoise(total, 0.0077, 2);
    const struct {
        const char* what;
        Setting first, second;
    } cases[] = {{"defaults", kDefaults, kDefaults},
                 {"other values", kOther, kOther},
                 {"values changed between blocks", kOther, kMoved}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Rendered vst = renderVst(c.first, c.second, mod, carr);
        long allocations = -1;
        for (bool inPlace : {false, true}) {
            SCOPED_TRACE(inPlace ? "in place" : "separate buffers");
            const auto passes = renderLv2(c.first, c.second, mod, carr, inPlace, &allocations);
            ASSERT_EQ(passes.size(), 2u);
            expectSameBits(passes[0], vst);
            SCOPED_TRACE("after deactivate and activate");
            expectSameBits(passes[1], vst);
            EXPECT_EQ(allocations, 0) << "run allocated";
        }
    }
    // Bypassed by the host (enabled 0) from the start: the modulator on both
    // outputs, in place too.
    for (bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "bypassed, in place" : "bypassed");
        const auto passes = renderLv2(kOther, kMoved, mod, carr, inPlace, nullptr, 0.0f);
        ASSERT_EQ(passes.size(), 2u);
        expectSameBits(passes[1], Rendered{mod, mod});
    }
}

// ------------------------------------------------------------ the synth's notes

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    static std::map<std::string, LV2_URID> ids;
    const auto [it, added] = ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1));
    return it->second;
}

// An atom sequence of three-byte MIDI messages, each at its frame.
struct MidiSequence {
    alignas(8) std::uint8_t bytes[4096] = {};
    void fill(LV2_URID sequence, LV2_URID midi, const std::vector<std::pair<int, std::array<std::uint8_t, 3>>>& events) {
        auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(bytes);
        seq->atom.type = sequence;
        seq->body.unit = seq->body.pad = 0;
        std::uint32_t size = sizeof(LV2_Atom_Sequence_Body);
        for (const auto& [frame, message] : events) {
            auto* ev = reinterpret_cast<LV2_Atom_Event*>(bytes + sizeof(LV2_Atom) + size);
            ev->time.frames = frame;
            ev->body.type = midi;
            ev->body.size = 3;
            std::memcpy(ev + 1, message.data(), 3);
            size += sizeof(LV2_Atom_Event) + 8;
        }
        seq->atom.size = size;
    }
};

// MIDI on the notes port plays the synth at its frames: the same bits as
// the engine given the same notes in one block.
TEST(Lv2Render, NotesPlayTheSynthAtTheirFrames) {
    Bundle& b = Bundle::get();
    ASSERT_NE(b.plugin, nullptr);
    LV2_URID_Map map{nullptr, mapUri};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    LilvInstance* instance = lilv_plugin_instantiate(b.plugin, kRate, features);
    ASSERT_NE(instance, nullptr);
    float controls[lv2::kAllControlCount], enabled = 1.0f;
    for (int k = 0; k < lv2::kAllControlCount; ++k) {
        controls[k] = engine::parameterInfo(lv2::controlSlot(k)).defaultUnits;
        lilv_instance_connect_port(instance, static_cast<std::uint32_t>(lv2::controlPort(k)), &controls[k]);
    }
    controls[7] = 1.0f;   // mix: the carrier alone
    controls[9] = 1.0f;   // the carrier is the synth
    controls[11] = 40.0f; // noise
    lilv_instance_connect_port(instance, 13, &enabled);
    MidiSequence seq;
    lilv_instance_connect_port(instance, lv2::kNotesPort, seq.bytes);
    const LV2_URID sequence = mapUri(nullptr, LV2_ATOM__Sequence), midi = mapUri(nullptr, LV2_MIDI__MidiEvent);
    // Note on A4 and C5, a bend, A4 off, the pedal, all notes off: frames
    // from the start, some on block boundaries.
    const std::vector<std::pair<int, std::array<std::uint8_t, 3>>> played = {
        {100, {0x90, 69, 100}}, {353, {0x91, 72, 64}}, {354, {0xE0, 0, 96}}, {700, {0x80, 69, 0}},
        {710, {0xB0, 64, 127}}, {800, {0x90, 76, 127}}, {820, {0x80, 76, 0}}, {900, {0xB0, 123, 0}}};
    const std::size_t total = 1010;
    std::vector<float> silence(total), left(total), right(total);
    lilv_instance_activate(instance);
    std::size_t at = 0;
    for (int frames : kBlocks) {
        std::vector<std::pair<int, std::array<std::uint8_t, 3>>> mine;
        for (const auto& e : played)
            if (e.first >= static_cast<int>(at) && e.first < static_cast<int>(at) + frames)
                mine.push_back({e.first - static_cast<int>(at), e.second});
        seq.fill(sequence, midi, mine);
        lilv_instance_connect_port(instance, 0, silence.data() + at);
        lilv_instance_connect_port(instance, 1, silence.data() + at);
        lilv_instance_connect_port(instance, 2, left.data() + at);
        lilv_instance_connect_port(instance, 3, right.data() + at);
        lilv_instance_run(instance, static_cast<std::uint32_t>(frames));
        at += static_cast<std::size_t>(frames);
    }
    lilv_instance_free(instance);

    dsp::SpectralRingModulator engine;
    engine.setDesignRate(static_cast<float>(kRate));
    for (int k = 0; k < lv2::kAllControlCount; ++k)
        engine.setParameter(lv2::controlSlot(k), engine::toNormalised(lv2::controlSlot(k), controls[k]));
    common::NoteEvents notes;
    notes.clear(static_cast<int>(total));
    for (const auto& e : played) notes.addMidi(e.first, e.second.data(), 3);
    std::vector<float> expected(total);
    const float* in[2] = {silence.data(), silence.data()};
    float* out[2] = {expected.data(), expected.data()};
    int count = 0;
    const dsp::NoteEvent* events = notes.slice(0, static_cast<int>(total), count);
    ASSERT_EQ(count, 8);
    engine.process(in, out, static_cast<int>(total), false, events, count);
    EXPECT_GT(*std::max_element(expected.begin(), expected.end()), 0.1f);
    for (std::size_t i = 0; i < total; ++i) {
        ASSERT_EQ(bitsOf(left[i]), bitsOf(expected[i])) << i;
        ASSERT_EQ(bitsOf(right[i]), bitsOf(expected[i])) << i;
    }
}

}  // namespace
}  // namespace halvorine::test
