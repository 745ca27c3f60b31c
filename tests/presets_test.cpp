// The factory presets: each one plays the demo at a sensible level, no two
// are near-copies, and the VST 2 program and bank files the build writes
// give, loaded the way a host loads them, the sound of the preset itself.
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
        const double dB = 20.0 * std::log10(static_cast<double>(demoPeak(p)));
        EXPECT_GE(dB, -18.0) << p.name;
        EXPECT_LE(dB, -0.3) << p.name;
    }
}

// Every value the file gives reads (the build checks it too), and no two
// presets lie within 0.05 of each other in every slot.
TEST(FactoryPresets, ReadAndDistinct) {
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        const FactoryPresetText& t = kFactoryPresetTexts[i];
        for (int slot = 0; slot < engine::kNamedParameters; ++slot) {
            float v = -1.0f;
            EXPECT_TRUE(engine::parseValueText(slot, t.texts[slot], v)) << t.name << " " << t.texts[slot];
            EXPECT_EQ(v, factoryPresets()[i].values[slot]) << t.name << " " << t.texts[slot];
        }
        EXPECT_EQ(findFactoryPreset(t.name), i);
        for (int j = 0; j < i; ++j) {
            bool near = true;
            for (int slot = 0; slot < engine::kSlots; ++slot)
                near = near && std::fabs(factoryPresets()[i].values[slot] - factoryPresets()[j].values[slot]) <= 0.05f;
            EXPECT_FALSE(near) << t.name << " and " << factoryPresets()[j].name;
        }
    }
}

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
