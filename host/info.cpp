#include "info.h"

#include <cctype>
#include <cstdarg>
#include <string>

#include "effect.h"
#include "hosted_plugin.h"
#include "factory_presets.h"

namespace halvorine::host {

namespace {

std::string fourChars(VstInt32 id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((static_cast<std::uint32_t>(id) >> shift) & 0xFF);
        text += std::isprint(c) != 0 ? static_cast<char>(c) : '.';
    }
    return text;
}

std::string flagNames(VstInt32 flags) {
    static const struct {
        VstInt32 bit;
        const char* name;
    } kFlags[] = {
        {effFlagsHasEditor, "HasEditor"},         {effFlagsHasClip, "HasClip"},
        {effFlagsHasVu, "HasVu"},                 {effFlagsCanMono, "CanMono"},
        {effFlagsCanReplacing, "CanReplacing"},   {effFlagsProgramChunks, "ProgramChunks"},
        {effFlagsIsSynth, "IsSynth"},             {effFlagsNoSoundInStop, "NoSoundInStop"},
        {effFlagsExtIsAsync, "ExtIsAsync"},       {effFlagsExtHasBuffer, "ExtHasBuffer"},
    };
    std::string text;
    VstInt32 rest = flags;
    for (const auto& flag : kFlags) {
        if ((flags & flag.bit) == 0) continue;
        text += text.empty() ? "" : " ";
        text += flag.name;
        rest &= ~flag.bit;
    }
    if (rest != 0) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%sunknown 0x%X", text.empty() ? "" : " ",
                      static_cast<unsigned>(rest));
        text += buf;
    }
    return text.empty() ? "none" : text;
}

const char* canDoAnswer(VstIntPtr answer) {
    if (answer > 0) return "yes";
    if (answer < 0) return "no";
    return "don't know";
}

std::string strprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string strprintf(const char* format, ...) {
    char buf[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

std::string rtrim(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

std::vector<std::string> programNamesOf(const std::string& pluginPath) noexcept {
    try {
        setHostAudioSettings(44100.0f, 512);
        const auto plugin = loadPlugin(pluginPath.empty() ? defaultPluginPath() : pluginPath, 44100, 512);
        return plugin->programNames();
    } catch (...) {
        return {};
    }
}

void printInfo(const InfoCommand& cmd, std::FILE* out) {
    setHostAudioSettings(44100.0f, 512);
    Effect effect(cmd.pluginPath.empty() ? defaultPluginPath() : cmd.pluginPath);
    effect.open();
    const AEffect& r = effect.record();

    std::fprintf(out, "Plug-in         %s\n", effect.path().c_str());
    std::fprintf(out, "Effect name     %s\n", effect.effectName().c_str());
    std::fprintf(out, "Vendor          %s\n", effect.vendorString().c_str());
    std::fprintf(out, "Product         %s\n", effect.productString().c_str());
    std::fprintf(out, "Vendor version  %lld\n", static_cast<long long>(effect.vendorVersion()));
    std::fprintf(out, "Unique ID       '%s' (0x%08X)\n", fourChars(r.uniqueID).c_str(),
                 static_cast<unsigned>(r.uniqueID));
    std::fprintf(out, "VST version     %lld\n", static_cast<long long>(effect.vstVersion()));
    std::fprintf(out, "Inputs          %d\n", r.numInputs);
    std::fprintf(out, "Outputs         %d\n", r.numOutputs);
    std::fprintf(out, "Flags           0x%X: %s\n", static_cast<unsigned>(r.flags),
                 flagNames(r.flags).c_str());

    // The value texts come from the effect itself: the current one, and
    // those at 0 and at 1, which is what --set reads in units.
    std::fprintf(out, "\nParameters (%d)\n", r.numParams);
    std::fprintf(out, "  %5s  %-18s %-8s %-9s %-10s %s\n", "index", "name", "label", "value",
                 "shows", "range");
    for (int i = 0; i < r.numParams; ++i) {
        const std::string name = effect.parameterName(i);
        const std::string display = effect.parameterDisplay(i);
        const auto [low, high] = effect.displayRange(i);
        const std::string range = low.empty() && high.empty() ? "" : low + " .. " + high;
        const std::string row = strprintf("  %5d  %-18s %-8s %-9.6f %-10s %s", i,
                                          name.empty() ? "(no name)" : name.c_str(),
                                          effect.parameterLabel(i).c_str(),
                                          static_cast<double>(effect.parameter(i)),
                                          display.c_str(), range.c_str());
        std::fprintf(out, "%s\n", rtrim(row).c_str());
    }

    std::fprintf(out, "\nPrograms (%d, current %d)\n", r.numPrograms, effect.currentProgram());
    for (int i = 0; i < r.numPrograms; ++i) {
        const std::string name = effect.programName(i);
        std::fprintf(out, "  %5d  %s\n", i, name.empty() ? "(no name)" : name.c_str());
    }

    // The factory presets come with the host (they are the project's own
    // table), not from the plug-in: VST 2 has no way to list them.
    std::fprintf(out, "\nFactory presets (%d, for --preset)\n", kFactoryPresetCount);
    for (int i = 0; i < kFactoryPresetCount; ++i)
        std::fprintf(out, "  %-16s %s\n", kFactoryPresetTexts[i].name, kFactoryPresetTexts[i].about);

    std::fprintf(out, "\nCapabilities\n");
    for (const char* capability : {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo"}) {
        const VstIntPtr answer = effect.canDo(capability);
        std::fprintf(out, "  %-20s %s (%lld)\n", capability, canDoAnswer(answer),
                     static_cast<long long>(answer));
    }
    effect.close();
}

}  // namespace halvorine::host
