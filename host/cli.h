// The command line of halvorine-host: three commands and their options.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace halvorine::host {

enum class SampleFormat { pcm8, pcm16, pcm24, pcm32, float32, float64, vorbis, opus };

const char* formatName(SampleFormat format);

// The format named by --format, in any letter case; nothing for an unknown name.
std::optional<SampleFormat> parseFormatName(const std::string& name);

// One --set NAME=VALUE. NAME is resolved against the plug-in's parameter
// names once the plug-in is loaded. A bare number is the normalised value,
// already checked to lie in 0..1; anything else is a text in the
// parameter's units, which only the plug-in can read.
struct ParameterSetting {
    std::string name;
    std::optional<float> value;
    std::string text;  // the VALUE as given
};

struct HelpCommand {
    std::string topic;       // empty, "info", "render", "demo" or "help"
    std::string pluginPath;  // whose programs to list; empty: the default
};

struct VersionCommand {};

struct InfoCommand {
    std::string pluginPath;  // empty: the halvorine.so beside the executable
};

struct RenderCommand {
    // "-" stands for standard input, for one of the inputs.
    std::string input;      // a two-channel file: left modulator, right carrier
    std::string modulator;  // or two mono files
    std::string carrier;    // with notes, the carrier may be left out (silent)
    std::string output;
    std::optional<std::string> program;       // an index or a name
    std::optional<std::string> preset;        // a factory preset's name, after the program
    std::vector<ParameterSetting> settings;  // applied in this order, after the program
    std::vector<int> notes;   // keys held from the first frame to the last (--notes)
    std::string midiFile;     // a Standard MIDI File to play (--midi)
    int blockSize = 512;
    std::optional<SampleFormat> format;  // nothing: what suits OUT's file type
    std::string pluginPath;  // empty: the VST 2 library, or with notes the CLAP build
    bool quiet = false;

    bool playsNotes() const { return !notes.empty() || !midiFile.empty(); }
    // The modulator alone will do where the synth may be the carrier: with
    // notes, or a plug-in named (a CLAP one, with its drone; a VST 2 one
    // refuses once loaded).
    bool carrierOptional() const { return playsNotes() || !pluginPath.empty(); }
};

struct DemoCommand {
    std::string outputDir = ".";
    std::string pluginPath;
    bool quiet = false;
};

using Command =
    std::variant<HelpCommand, VersionCommand, InfoCommand, RenderCommand, DemoCommand>;

constexpr int kMaxBlockSize = 65536;

// Parses the arguments after the program name. Throws HostError with
// kExitUsage for anything that is wrong with the command line alone.
Command parseCommandLine(const std::vector<std::string>& args);

// The help text for a topic ("" for the overview). `programs` lists the
// plug-in's programs, when it could be loaded.
std::string helpText(const std::string& topic, const std::vector<std::string>& programs = {});

// "halvorine-host VERSION".
std::string versionText();

}  // namespace halvorine::host
