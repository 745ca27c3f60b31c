// Writes the factory presets as files for the hosts that load presets from
// disk, and checks that the build reads every value of the presets' file:
//   halvorine-preset-files FACTORY_PRESETS_TXT OUTPUT_DIR
// OUTPUT_DIR/vst3/<Name>.vstpreset   one per preset, for VST 3 hosts
// OUTPUT_DIR/vst2/<Name>.fxp         one per preset, for VST 2 hosts
// OUTPUT_DIR/vst2/Halvorine Factory.fxb  the first eight, as a bank
// The VST 2 plug-in has no synth: presets that play it have no .fxp and no
// place in the bank.
// Build time only, on the build machine; the files are the same for every
// platform.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "factory_presets.h"
#include "identity.h"
#include "product.h"
#include "state_bytes.h"

namespace {

using namespace halvorine;
using Bytes = std::vector<std::uint8_t>;

void le32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void le64(Bytes& b, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void be32(Bytes& b, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
// Byte by byte: GCC 12 warns wrongly of an overflow in vector::insert here.
void text(Bytes& b, const std::string& s) {
    for (const char c : s) b.push_back(static_cast<std::uint8_t>(c));
}
void fourCC(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(id[i]));
}
void setLe64(Bytes& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::string xmlEscaped(const char* s) {
    std::string out;
    for (; *s; ++s) {
        switch (*s) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += *s;
        }
    }
    return out;
}

// The VST 3 preset file: header, the component state ('Comp', the
// one-program form, so a host loads it into the current program), the
// name for the host's browser ('Info'), then the chunk list.
Bytes vstPreset(const FactoryPreset& p) {
    Bytes b;
    fourCC(b, "VST3");
    le32(b, 1);
    char id[33];
    std::snprintf(id, sizeof id, "%08X%08X%08X%08X", vst3::kClassIdWords[0], vst3::kClassIdWords[1],
                  vst3::kClassIdWords[2], vst3::kClassIdWords[3]);
    text(b, id);
    const std::size_t listOffsetAt = b.size();
    le64(b, 0);

    struct Chunk { const char* id; std::size_t offset, size; };
    std::vector<Chunk> chunks;
    std::uint8_t state[common::kProgramStateBytes];
    const std::size_t stateSize = common::writeProgramState(p.name, p.values, state, sizeof state);
    chunks.push_back({"Comp", b.size(), stateSize});
    for (std::size_t i = 0; i < stateSize; ++i) b.push_back(state[i]);

    std::string info = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<MetaInfo>\n";
    auto attr = [&](const char* key, const std::string& value) {
        info += "\t<Attr id=\"" + std::string(key) + "\" value=\"" + value +
                "\" type=\"string\" flags=\"writeProtected\"/>\n";
    };
    attr("MediaType", "VstPreset");
    attr("PlugInName", kProductName);
    attr("PlugInCategory", vst3::kSubCategories);
    attr("Name", xmlEscaped(p.name));
    info += "</MetaInfo>\n";
    chunks.push_back({"Info", b.size(), info.size()});
    text(b, info);

    setLe64(b, listOffsetAt, b.size());
    fourCC(b, "List");
    le32(b, static_cast<std::uint32_t>(chunks.size()));
    for (const Chunk& c : chunks) {
        fourCC(b, c.id);
        le64(b, c.offset);
        le64(b, c.size);
    }
    return b;
}

// A VST 2 program ('FxCk'): the host-visible parameters as floats.
void fxProgram(Bytes& b, const FactoryPreset& p) {
    const std::size_t start = b.size();
    fourCC(b, "CcnK");
    be32(b, 0);  // the size after this field, set below
    fourCC(b, "FxCk");
    be32(b, 1);
    be32(b, static_cast<std::uint32_t>(kVst2UniqueId));
    be32(b, static_cast<std::uint32_t>(kVst2Version));
    be32(b, engine::kHostParameters);
    char name[28] = {};
    std::strncpy(name, p.name, sizeof name - 1);
    for (const char c : name) b.push_back(static_cast<std::uint8_t>(c));
    for (int slot = 0; slot < engine::kHostParameters; ++slot) {
        std::uint32_t bits;
        std::memcpy(&bits, &p.values[slot], 4);
        be32(b, bits);
    }
    const auto size = static_cast<std::uint32_t>(b.size() - start - 8);
    for (int i = 0; i < 4; ++i) b[start + 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * (3 - i)));
}

Bytes fxBank(const FactoryPreset* presets, int count) {
    Bytes b;
    fourCC(b, "CcnK");
    be32(b, 0);
    fourCC(b, "FxBk");
    be32(b, 1);
    be32(b, static_cast<std::uint32_t>(kVst2UniqueId));
    be32(b, static_cast<std::uint32_t>(kVst2Version));
    be32(b, static_cast<std::uint32_t>(count));
    b.resize(b.size() + 128, 0);  // reserved
    for (int i = 0; i < count; ++i) fxProgram(b, presets[i]);
    const auto size = static_cast<std::uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * (3 - i)));
    return b;
}

bool write(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: halvorine-preset-files FACTORY_PRESETS_TXT OUTPUT_DIR\n");
        return 2;
    }
    // Every text must read as a host's typed text reads; the plug-ins read
    // the same texts at start-up.
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        const FactoryPresetText& t = kFactoryPresetTexts[i];
        for (int slot = 0; slot < engine::kAllSlots; ++slot) {
            float value = 0.0f;
            if (t.texts[slot] && !engine::parseValueText(slot, t.texts[slot], value)) {
                std::fprintf(stderr, "%s:%d: '%s' cannot read '%s'\n", argv[1], t.valueLines[slot],
                             engine::parameterInfo(slot).name, t.texts[slot]);
                return 1;
            }
        }
    }
    const std::filesystem::path dir = argv[2];
    std::error_code error;
    std::filesystem::create_directories(dir / "vst3", error);
    std::filesystem::create_directories(dir / "vst2", error);
    const FactoryPreset* presets = factoryPresets();
    bool ok = true;
    std::vector<FactoryPreset> vst2;
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        const std::string name = presets[i].name;
        ok = ok && write(dir / "vst3" / (name + ".vstpreset"), vstPreset(presets[i]));
        // A file from an earlier build of a preset that now plays the synth
        // must not linger.
        std::filesystem::remove(dir / "vst2" / (name + ".fxp"), error);
        if (playsSynth(presets[i])) continue;
        vst2.push_back(presets[i]);
        Bytes program;
        fxProgram(program, presets[i]);
        ok = ok && write(dir / "vst2" / (name + ".fxp"), program);
    }
    const int inBank = vst2.size() < 8 ? static_cast<int>(vst2.size()) : 8;
    ok = ok && write(dir / "vst2" / "Halvorine Factory.fxb", fxBank(vst2.data(), inBank));
    if (!ok) {
        std::fprintf(stderr, "halvorine-preset-files: cannot write into %s\n", argv[2]);
        return 1;
    }
    return 0;
}
