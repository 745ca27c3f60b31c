// The command line of halvorine-host: three commands and their options.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace halvorine::host {

enum class SampleFormat { float32, pcm16, pcm24 };

const char* formatName(SampleFormat format);

// One --set NAME=VALUE. NAME is resolved against the plug-in's parameter
// names once the plug-in is loaded; VALUE is already checked to lie in 0..1.
struct ParameterSetting {
    std::string name;
    float value = 0.0f;
};

struct HelpCommand {
    std::string topic;  // empty, "info", "render" or "demo"
};

struct InfoCommand {
    std::string pluginPath;  // empty: the halvorine.so beside the executable
};

struct RenderCommand {
    std::string input;      // a two-channel file: left modulator, right carrier
    std::string modulator;  // or two mono files
    std::string carrier;
    std::string output;
    std::optional<int> program;
    std::vector<ParameterSetting> settings;  // applied in this order, after the program
    int blockSize = 512;
    SampleFormat format = SampleFormat::float32;
    std::string pluginPath;
    bool quiet = false;
};

struct DemoCommand {
    std::string outputDir = ".";
    std::string pluginPath;
    bool quiet = false;
};

using Command = std::variant<HelpCommand, InfoCommand, RenderCommand, DemoCommand>;

constexpr int kMaxBlockSize = 65536;

// Parses the arguments after the program name. Throws HostError with
// kExitUsage for anything that is wrong with the command line alone.
Command parseCommandLine(const std::vector<std::string>& args);

// The help text for a topic ("" for the overview).
std::string helpText(const std::string& topic);

}  // namespace halvorine::host
