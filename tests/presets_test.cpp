// The factory presets: each one plays the demo at a sensible level, peaks
// below -1 dBFS on every kind of material, sounds where its about line says,
// no two are near-copies, and the VST 2 program and bank files the build
// writes give, loaded the way a host loads them, the sound of the preset
// itself; presets that play the synth have no VST 2 file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "effect_core.h"
#include "factory_presets.h"
#include "product.h"
#include "support/material.h"
#include "support/plugin_host.h"
#include "synth.h"

namespace halvorine {
namespace {

constexpr int kRate = 44100;

struct Demo {
    std::vector<float> modulator = host::synthModulator(kRate, 6.0);
    std::vector<float> carrier = host::synthCarrier(kRate, 6.0);
};
const Demo& demo() {
    static const Demo d;
    return d;
}

// The peak of the demo through a fresh core with the preset loaded.
float demoPeak(const FactoryPreset& preset) {
    static EffectCore core;  // large: not on the stack
    core.reset();
    core.setSampleRate(kRate);
    core.loadIntoProgram(preset.values, preset.name);
    const Demo& d = demo();
    float peak = 0.0f;
    std::vector<float> left(512), right(512);
    for (std::size_t at = 0; at < d.modulator.size(); at += 512) {
        const int n = static_cast<int>(std::min<std::size_t>(512, d.modulator.size() - at));
        const float* in[2] = {d.modulator.data() + at, d.carrier.data() + at};
        float* out[2] = {left.data(), right.data()};
        core.process(in, out, n);
        for (int i = 0; i < n; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    return peak;
}

TEST(FactoryPresets, EachPlaysTheDemoAtASensibleLevel) {
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        const FactoryPreset& p = factoryPresets()[i];
        // Played with notes: the material set holds their chords.
        if (playsSynth(p) && engine::droneKey(p.values[engine::kDroneSlot]) < 0) continue;
        const double dB = 20.0 * std::log10(static_cast<double>(demoPeak(p)));
        EXPECT_GE(dB, -18.0) << p.name;
        EXPECT_LE(dB, -1.0) << p.name;
    }
}

// Every value the file gives reads (the build checks it too), a synth value
// it leaves out is the default, and no two presets lie within 0.05 of each
// other in every slot.
TEST(FactoryPresets, ReadAndDistinct) {
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        const FactoryPresetText& t = kFactoryPresetTexts[i];
        for (int slot = 0; slot < engine::kAllSlots; ++slot) {
            float v = engine::parameterInfo(slot).defaultValue;
            if (t.texts[slot]) {
                EXPECT_TRUE(engine::parseValueText(slot, t.texts[slot], v)) << t.name << " " << t.texts[slot];
            }
            EXPECT_EQ(v, factoryPresets()[i].values[slot]) << t.name << " " << slot;
        }
        EXPECT_EQ(findFactoryPreset(t.name), i);
        for (int j = 0; j < i; ++j) {
            bool near = true;
            for (int slot = 0; slot < engine::kAllSlots; ++slot)
                near = near && std::fabs(factoryPresets()[i].values[slot] - factoryPresets()[j].values[slot]) <= 0.05f;
            EXPECT_FALSE(near) << t.name << " and " << factoryPresets()[j].name;
        }
    }
}

#ifdef HALVORINE_MATERIAL_DIR
// What a preset's about line says of its output on the material set: the
// share of the energy from `lo` to below `hi` Hz lies within least..most.
struct Share {
    double lo, hi, least, most;
};

// Every factory preset as the material set plays it, with what its about
// line claims. A preset played with notes gives the keys it holds from the
// first frame at full velocity; a synth preset without them plays its drone.
struct Sounding {
    const char* preset;
    std::vector<Share> claims;
    std::vector<int> chord = {};
};

constexpr double kTop = 1e6;  // and above
const Sounding kSoundings[] = {
    {"Band Vocoder", {{0, 300, 0.6, 1}}},
    {"Robot Choir", {{100, 1000, 0.55, 1}}},
    {"Shifted Bells", {{300, kTop, 0.6, 1}}},
    {"Whisper", {{0, 300, 0, 0.15}, {2000, kTop, 0.3, 1}}},
    {"Drum Pad", {{0, 300, 0.6, 1}}},
    {"Thickener", {{0, 300, 0.45, 1}}},  // the material alone has a third there
    {"Upside Down", {{2000, kTop, 0.6, 1}, {0, 300, 0, 0.05}}},
    {"Octave Up", {{300, kTop, 0.55, 1}}},
    {"Telephone", {{300, 3400, 0.6, 1}}},
    {"Deep Growl", {{0, 300, 0.7, 1}, {1000, kTop, 0, 0.1}}},
    {"Glass", {{2000, kTop, 0.8, 1}}},
    {"Smear", {{0, 300, 0.55, 1}}},
    {"Metal Comb", {{300, kTop, 0.8, 1}}},
    {"Half Wet", {{0, 300, 0.55, 1}}},
    {"Carrier Blend", {{0, 300, 0.6, 1}}},
    {"Mirror", {{1000, kTop, 0.6, 1}}},
    {"Scatter", {{0, 300, 0.6, 1}}},
    {"Tilted Formants", {{0, 1000, 0.75, 1}}},
    {"Robot Monotone", {{300, kTop, 0.75, 1}}},
    {"Drone Choir", {{0, 1000, 0.8, 1}}},
    {"Drone Throb", {{0, 300, 0.7, 1}}},
    {"Breathy Drone", {{2000, kTop, 0.6, 1}, {0, 300, 0, 0.1}}},
    {"Detuned Pad", {{100, 1000, 0.6, 1}}, {57, 61, 64}},  // A major
    {"Square Octave Down", {{0, 300, 0.7, 1}}, {57, 60, 64}},  // A minor
};

// A preset's peaks (dBFS) on each material, and the spectrum of its outputs
// on the whole set, each material's scaled to the same energy.
struct Heard {
    std::vector<double> peaks;
    std::vector<double> spectrum;
};

const Heard& heard(const Sounding& row) {
    static const auto set = test::presetMaterial(HALVORINE_MATERIAL_DIR);
    static const auto carrier = test::materialCarrier();
    static std::vector<Heard> cache(std::size(kSoundings));
    Heard& h = cache[static_cast<std::size_t>(&row - kSoundings)];
    if (!h.peaks.empty()) return h;
    static EffectCore core;
    const FactoryPreset& preset = factoryPresets()[findFactoryPreset(row.preset)];
    for (const test::Material& m : set) {
        EXPECT_FALSE(m.modulator.empty()) << m.name << " unread from " << HALVORINE_MATERIAL_DIR;
        if (m.modulator.empty()) continue;
        core.reset();
        core.setSampleRate(test::kMaterialRate);
        core.loadIntoProgram(preset.values, preset.name);
        std::vector<dsp::NoteEvent> notes;
        for (const int key : row.chord) notes.push_back({0, dsp::NoteEvent::On, static_cast<std::int16_t>(key), 1.0f});
        std::vector<float> out(m.modulator.size()), right(512);
        for (std::size_t at = 0; at < m.modulator.size(); at += 512) {
            const int n = static_cast<int>(std::min<std::size_t>(512, m.modulator.size() - at));
            const float* in[2] = {m.modulator.data() + at, carrier.data() + at};
            float* o[2] = {out.data() + at, right.data()};
            core.process(in, o, n, false, at == 0 ? notes.data() : nullptr, at == 0 ? static_cast<int>(notes.size()) : 0);
        }
        float peak = 0.0f;
        for (float x : out) peak = std::max(peak, std::fabs(x));
        h.peaks.push_back(20.0 * std::log10(static_cast<double>(peak)));
        const std::vector<double> spectrum = test::powerSpectrum(out);
        double energy = 0.0;
        for (double e : spectrum) energy += e;
        h.spectrum.resize(spectrum.size());
        for (std::size_t k = 0; k < spectrum.size(); ++k) h.spectrum[k] += spectrum[k] / energy;
    }
    return h;
}

// Every preset has its row; none peaks above -1 dBFS on any material, and
// the loudest material reaches -3 dBFS unless the boost is at its top; every
// share of the energy its about line names holds. (One test: the set is
// rendered once.)
TEST(FactoryPresets, LevelledAndAsDescribedOnTheMaterialSet) {
    for (const Sounding& row : kSoundings) ASSERT_GE(findFactoryPreset(row.preset), 0) << row.preset;
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        const FactoryPreset& p = factoryPresets()[i];
        const auto row = std::find_if(std::begin(kSoundings), std::end(kSoundings),
                                      [&](const Sounding& r) { return findFactoryPreset(r.preset) == i; });
        ASSERT_NE(row, std::end(kSoundings)) << p.name << " has no row";
        const Heard& h = heard(*row);
        const double loudest = *std::max_element(h.peaks.begin(), h.peaks.end());
        EXPECT_LE(loudest, -1.0) << p.name;
        if (p.values[8] < 1.0f) {
            EXPECT_GE(loudest, -3.0) << p.name;
        }
        for (const Share& c : row->claims) {
            const double share = test::energyShare(h.spectrum, c.lo, c.hi);
            EXPECT_TRUE(share >= c.least && share <= c.most)
                << p.name << ": " << share << " of the energy from " << c.lo << " to " << c.hi << " Hz, not "
                << c.least << ".." << c.most << "\n  " << p.about;
        }
    }
}
#endif

#ifdef HALVORINE_PRESET_FILES_DIR
std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// One 'FxCk' program at p: checked against the library's record, then
// applied as hosts apply one (its name, then each value). Returns its size.
std::size_t applyProgram(test::TestHost& host, AEffect* e, const std::uint8_t* p, const char* name) {
    EXPECT_EQ(std::memcmp(p, "CcnK", 4), 0);
    EXPECT_EQ(std::memcmp(p + 8, "FxCk", 4), 0);
    EXPECT_EQ(be32(p + 16), static_cast<std::uint32_t>(e->uniqueID));
    EXPECT_EQ(be32(p + 20), static_cast<std::uint32_t>(e->version));
    const std::uint32_t count = be32(p + 24);
    EXPECT_EQ(count, static_cast<std::uint32_t>(e->numParams));
    char programName[29] = {};
    std::memcpy(programName, p + 28, 28);
    EXPECT_STREQ(programName, name);
    host.dispatch(e, effSetProgramName, 0, 0, programName);
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t bits = be32(p + 56 + 4 * k);
        float v;
        std::memcpy(&v, &bits, 4);
        e->setParameter(e, static_cast<VstInt32>(k), v);
    }
    EXPECT_EQ(be32(p + 4), 48 + 4 * count);
    return 56 + 4 * count;
}

// The library with a loaded file plays the bits of the core with the
// preset loaded, and shows the preset's name.
void expectPlaysPreset(test::TestHost& host, AEffect* e, const FactoryPreset& preset) {
    static EffectCore core;
    core.reset();
    host.dispatch(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    host.dispatch(e, effMainsChanged, 0, 1);
    core.setSampleRate(kRate);
    core.loadIntoProgram(preset.values, preset.name);
    const Demo& d = demo();
    const int n = 4096;
    std::vector<float> expected0(n), expected1(n), got0(n), got1(n);
    const float* in[2] = {d.modulator.data() + 20000, d.carrier.data() + 20000};
    float* out[2] = {expected0.data(), expected1.data()};
    core.process(in, out, n);
    test::processBlock(e, in[0], in[1], got0.data(), got1.data(), n);
    host.dispatch(e, effMainsChanged, 0, 0);
    EXPECT_EQ(std::memcmp(expected0.data(), got0.data(), n * sizeof(float)), 0) << preset.name;
    EXPECT_EQ(host.text(e, effGetProgramName), preset.name);
}

TEST(FactoryPresetFiles, Vst2ProgramsAndBankPlayThePresets) {
    test::TestHost host;
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        const FactoryPreset& p = factoryPresets()[i];
        const auto bytes = fileBytes(std::string(HALVORINE_PRESET_FILES_DIR) + "/vst2/" + p.name + ".fxp");
        if (playsSynth(p)) {  // no synth in VST 2: no file
            EXPECT_TRUE(bytes.empty()) << p.name;
            continue;
        }
        ASSERT_EQ(bytes.size(), 96u) << p.name;
        AEffect* e = host.loadOrFail();
        applyProgram(host, e, bytes.data(), p.name);
        expectPlaysPreset(host, e, p);
        host.close(e);
    }
    const auto bank = fileBytes(std::string(HALVORINE_PRESET_FILES_DIR) + "/vst2/Halvorine Factory.fxb");
    ASSERT_EQ(bank.size(), 156u + 8 * 96);
    AEffect* e = host.loadOrFail();
    EXPECT_EQ(std::memcmp(bank.data(), "CcnK", 4), 0);
    EXPECT_EQ(std::memcmp(bank.data() + 8, "FxBk", 4), 0);
    EXPECT_EQ(be32(bank.data() + 4), bank.size() - 8);
    EXPECT_EQ(be32(bank.data() + 16), static_cast<std::uint32_t>(e->uniqueID));
    EXPECT_EQ(be32(bank.data() + 24), 8u);
    // A host loads a bank program by program: each one into its own slot.
    for (int k = 0; k < 8; ++k) {
        host.dispatch(e, effSetProgram, 0, k);
        applyProgram(host, e, bank.data() + 156 + 96 * k, factoryPresets()[k].name);
    }
    for (int k = 0; k < 8; ++k) {
        host.dispatch(e, effSetProgram, 0, k);
        EXPECT_EQ(host.text(e, effGetProgramName), factoryPresets()[k].name);
        for (int slot = 0; slot < e->numParams; ++slot)
            EXPECT_EQ(e->getParameter(e, slot), factoryPresets()[k].values[slot]) << k << " " << slot;
    }
    host.close(e);
}
#endif

}  // namespace
}  // namespace halvorine
