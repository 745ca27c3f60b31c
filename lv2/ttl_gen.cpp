// Writes the bundle's Turtle files from the port tables:
//   halvorine-lv2-ttl OUTPUT_DIR [--ui]
// manifest.ttl, halvorine.ttl (the plug-in, and its UI with --ui) and
// presets.ttl. Build time only.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "factory_presets.h"
#include "halvorine_version.h"
#include "ports.h"

namespace {

using namespace halvorine::lv2;
namespace engine = halvorine::engine;

const char* kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

// A float as a Turtle decimal: always with a point, never an exponent.
std::string decimal(float v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string uri(const std::string& u) { return "<" + u + ">"; }

// The port value in units that the plug-in turns back into exactly the
// normalised value v: toUnits(v) rounded to float may land a step off, so
// the floats around it are tried, nearest first. Some values (45% reads as
// 0.450000018, between what 45 and the next float give) lie between two
// port values; they get the one toUnits gives, within 1e-7.
float unitsFor(int slot, float v) {
    const auto start = static_cast<float>(engine::toUnits(slot, v));
    float up = start, down = start;
    for (int i = 0; i < 256; ++i) {
        if (engine::toNormalised(slot, up) == v) return up;
        if (engine::toNormalised(slot, down) == v) return down;
        up = std::nextafter(up, HUGE_VALF);
        down = std::nextafter(down, -HUGE_VALF);
    }
    return start;
}

// A factory preset's URI: the prefix and its name in lower case, words
// joined by '-' ("...:preset:band-vocoder").
std::string presetUri(int i) {
    std::string slug;
    for (const char* c = halvorine::factoryPresets()[i].name; *c; ++c)
        slug += *c == ' ' ? '-' : *c >= 'A' && *c <= 'Z' ? static_cast<char>(*c - 'A' + 'a') : *c;
    return uri(kPresetUriPrefix + slug);
}

// A Turtle string: quotes and backslashes escaped.
std::string quoted(const char* s) {
    std::string out = "\"";
    for (; *s; ++s) {
        if (*s == '"' || *s == '\\') out += '\\';
        out += *s;
    }
    return out + "\"";
}

std::string unitOf(engine::Unit unit) {
    using engine::Unit;
    switch (unit) {
        case Unit::Hertz: return "units:unit units:hz ;\n        lv2:portProperty pprops:logarithmic";
        case Unit::Percent: return "units:unit units:pc";
        case Unit::Bands:
            return "units:unit [ a units:Unit ; rdfs:label \"bands\" ; units:symbol \"bands\" ; "
                   "units:render \"%d bands\" ] ;\n        lv2:portProperty lv2:integer";
        case Unit::Mix: return "units:unit units:coef";
        case Unit::Decibels: return "units:unit units:db";
        case Unit::Cents: return "units:unit units:cent";
        case Unit::Milliseconds: return "units:unit units:ms ;\n        lv2:portProperty pprops:logarithmic";
        case Unit::Choice: case Unit::Octaves: case Unit::Note: return "lv2:portProperty lv2:integer";
        case Unit::None: break;
    }
    return "";
}

// The named values of a stepped synth control: its choices, or the
// drone's "Off" and notes.
std::string scalePoints(int slot) {
    const engine::ParameterInfo& p = engine::parameterInfo(slot);
    if (p.unit != engine::Unit::Choice && p.unit != engine::Unit::Note) return "";
    std::string out = " ;\n        lv2:portProperty lv2:enumeration ;\n        lv2:scalePoint";
    for (int i = 0; i <= p.steps; ++i) {
        char text[32];
        engine::writeValueText(slot, engine::toNormalised(slot, p.minimum + i), text, sizeof text);
        out += (i ? " , [ rdfs:label " : " [ rdfs:label ") + quoted(text) + " ; rdf:value " +
               std::to_string(static_cast<int>(p.minimum) + i) + " ]";
    }
    return out;
}

std::string manifest() {
    std::ostringstream out;
    out << kPrefixes;
    out << uri(kPluginUri) << "\n    a lv2:Plugin ;\n    lv2:binary <" << kDspBinary
        << "> ;\n    rdfs:seeAlso <halvorine.ttl> .\n";
    for (int i = 0; i < halvorine::kFactoryPresetCount; ++i)
        out << "\n" << presetUri(i) << "\n    a pset:Preset ;\n    lv2:appliesTo " << uri(kPluginUri)
            << " ;\n    rdfs:seeAlso <presets.ttl> .\n";
    return out.str();
}

std::string plugin(bool withUi) {
    std::ostringstream out;
    out << kPrefixes;
    out << uri(kPluginUri) << "\n    a lv2:Plugin , lv2:ModulatorPlugin ;\n"
        << "    doap:name \"" << halvorine::kProductName << "\" ;\n"
        << "    doap:maintainer [ foaf:name \"Brindlex\" ] ;\n"
        // LV2 counts compatible releases in two numbers, even for a release
        // (odd or zero minor numbers mark a development version), and has no
        // major number outside the URI: the major version goes into the minor.
        << "    lv2:minorVersion " << 2 * (100 * halvorine::kVersionMajor + halvorine::kVersionMinor) << " ;\n"
        << "    lv2:microVersion " << 2 * halvorine::kVersionPatch << " ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable , urid:map ;\n";
    if (withUi) out << "    ui:ui " << uri(kUiUri) << " ;\n";
    out << "    lv2:port";
    int index = 0;
    for (const AudioPort& p : kAudioPorts) {
        out << (index ? " , [\n" : " [\n") << "        a lv2:AudioPort , "
            << (p.input ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n"
            << "        lv2:index " << index << " ;\n"
            << "        lv2:symbol \"" << p.symbol << "\" ;\n"
            << "        lv2:name \"" << p.name << "\""
            << (index == 1 ? " ;\n        lv2:portProperty lv2:isSideChain" : "") << "\n    ]";
        ++index;
    }
    const auto control = [&](int k) {
        const int slot = controlSlot(k);
        const engine::ParameterInfo& p = engine::parameterInfo(slot);
        out << " , [\n        a lv2:ControlPort , lv2:InputPort ;\n"
            << "        lv2:index " << controlPort(k) << " ;\n"
            << "        lv2:symbol \"" << p.symbol << "\" ;\n"
            << "        lv2:name \"" << p.name << "\" ;\n"
            << "        lv2:default " << decimal(p.defaultUnits) << " ;\n"
            << "        lv2:minimum " << decimal(p.minimum) << " ;\n"
            << "        lv2:maximum " << decimal(p.maximum) << " ;\n"
            << "        " << unitOf(p.unit) << scalePoints(slot) << "\n    ]";
    };
    for (int k = 0; k < kControlPortCount; ++k) control(k);
    out << " , [\n        a lv2:ControlPort , lv2:InputPort ;\n"
        << "        lv2:index " << kEnabledPort << " ;\n"
        << "        lv2:symbol \"" << kEnabledSymbol << "\" ;\n"
        << "        lv2:name \"Enabled\" ;\n"
        << "        lv2:designation lv2:enabled ;\n"
        << "        lv2:portProperty lv2:toggled ;\n"
        << "        lv2:default 1 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1\n    ]";
    for (int k = kControlPortCount; k < kAllControlCount; ++k) control(k);
    out << " , [\n        a lv2:InputPort , atom:AtomPort ;\n"
        << "        atom:bufferType atom:Sequence ;\n"
        << "        atom:supports midi:MidiEvent ;\n"
        << "        lv2:designation lv2:control ;\n"
        << "        lv2:portProperty lv2:connectionOptional ;\n"
        << "        lv2:index " << kNotesPort << " ;\n"
        << "        lv2:symbol \"" << kNotesSymbol << "\" ;\n"
        << "        lv2:name \"Notes\"\n    ]";
    out << " .\n";
    if (withUi)
        out << "\n" << uri(kUiUri) << "\n    a ui:X11UI ;\n    lv2:binary <" << kUiBinary << "> ;\n"
            << "    lv2:requiredFeature ui:parent , ui:idleInterface ;\n"
            << "    lv2:optionalFeature ui:resize , ui:touch , ui:noUserResize , opts:options ,\n"
            << "        <http://lv2plug.in/ns/ext/urid#map> ;\n"
            << "    opts:supportedOption ui:scaleFactor ;\n"
            << "    lv2:extensionData ui:idleInterface , opts:interface .\n";
    return out.str();
}

std::string presets() {
    std::ostringstream out;
    out << kPrefixes;
    const halvorine::FactoryPreset* factory = halvorine::factoryPresets();
    for (int i = 0; i < halvorine::kFactoryPresetCount; ++i) {
        out << presetUri(i) << "\n    a pset:Preset ;\n    lv2:appliesTo " << uri(kPluginUri)
            << " ;\n    rdfs:label " << quoted(factory[i].name) << " ;\n    rdfs:comment "
            << quoted(factory[i].about) << " ;\n    lv2:port";
        for (int k = 0; k < kAllControlCount; ++k)
            out << (k ? " , [\n" : " [\n") << "        lv2:symbol \""
                << engine::parameterInfo(controlSlot(k)).symbol << "\" ;\n        pset:value "
                << decimal(unitsFor(controlSlot(k), factory[i].values[controlSlot(k)])) << "\n    ]";
        out << " .\n\n";
    }
    return out.str();
}

bool write(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: halvorine-lv2-ttl OUTPUT_DIR [--ui]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool withUi = argc > 2 && std::strcmp(argv[2], "--ui") == 0;
    if (!write(dir + "/manifest.ttl", manifest()) || !write(dir + "/halvorine.ttl", plugin(withUi)) ||
        !write(dir + "/presets.ttl", presets())) {
        std::fprintf(stderr, "halvorine-lv2-ttl: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
