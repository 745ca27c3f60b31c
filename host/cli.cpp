#include "cli.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "error.h"

namespace halvorine::host {

const char* formatName(SampleFormat format) {
    switch (format) {
        case SampleFormat::pcm16: return "pcm16";
        case SampleFormat::pcm24: return "pcm24";
        case SampleFormat::float32: break;
    }
    return "float";
}

namespace {

const char* const kOverview =
    "halvorine-host: runs audio through the Halvorine VST 2 plug-in.\n"
    "\n"
    "usage:\n"
    "  halvorine-host info [--plugin PATH]\n"
    "  halvorine-host render -m MODULATOR -c CARRIER -o OUT [options]\n"
    "  halvorine-host render INPUT -o OUT [options]\n"
    "  halvorine-host demo [-o DIR] [--plugin PATH] [--quiet]\n"
    "  halvorine-host help [info|render|demo]\n"
    "\n"
    "--plugin PATH defaults to the halvorine.so beside this executable.\n"
    "Exit status: 0 done, 1 failed (files, plug-in), 2 wrong usage.\n";

const char* const kInfoHelp =
    "usage: halvorine-host info [--plugin PATH]\n"
    "\n"
    "Loads the plug-in as a host does and prints what a host sees: names,\n"
    "unique ID, VST version, pins, flags, parameters, programs and the\n"
    "answers to its capability questions.\n";

const char* const kRenderHelp =
    "usage: halvorine-host render -m MODULATOR -c CARRIER -o OUT [options]\n"
    "       halvorine-host render INPUT -o OUT [options]\n"
    "\n"
    "Runs the modulator (input 0) and the carrier (input 1) through the\n"
    "plug-in and writes its two outputs to OUT. -m and -c take mono files;\n"
    "a single INPUT must have two channels: left modulator, right carrier.\n"
    "Any file type libsndfile reads will do; both must have the same rate,\n"
    "and the shorter one is padded with silence. OUT's extension picks the\n"
    "file type (.wav, .aiff, .flac, ...).\n"
    "\n"
    "options:\n"
    "  -o, --output OUT      file to write (replaced only when the render succeeds)\n"
    "  --program N           select program N first\n"
    "  --set NAME=VALUE      set a parameter, by name (any case) or index, to a\n"
    "                        value in 0..1; repeatable, applied in order after\n"
    "                        the program\n"
    "  --block N             frames per processing block (default 512)\n"
    "  --format F            float (default), pcm16 or pcm24\n"
    "  --plugin PATH         the plug-in library to load\n"
    "  -q, --quiet           no progress bar and no notes\n";

const char* const kDemoHelp =
    "usage: halvorine-host demo [-o DIR] [--plugin PATH] [--quiet]\n"
    "\n"
    "Synthesises a modulator (a sung, rhythmic phrase) and a carrier\n"
    "(detuned sawtooth chords), renders them through the plug-in with its\n"
    "default program and writes modulator.wav, carrier.wav and halvorine.wav\n"
    "into DIR (default: the current folder), plus spectrogram.png when sox\n"
    "is installed.\n";

// One option of a command: its spellings, whether it takes a value, and
// what to do with it.
struct Option {
    std::vector<std::string> names;
    bool takesValue;
    std::function<void(const std::string& spelled, const std::string& value)> apply;
};

// Walks the arguments of one command, handing options to their handlers
// and collecting the rest as positional arguments.
std::vector<std::string> parseOptions(const std::string& command,
                                      const std::vector<std::string>& args,
                                      const std::vector<Option>& options) {
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (arg.starts_with("--")) {
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                name = arg.substr(0, eq);
                inlineValue = arg.substr(eq + 1);
            }
        }
        const Option* found = nullptr;
        for (const Option& option : options) {
            for (const std::string& spelling : option.names) {
                if (spelling == name) found = &option;
            }
        }
        if (found == nullptr) {
            usageError("unknown option '" + name + "' for " + command + " (see 'halvorine-host " +
                       command + " --help')");
        }
        if (!found->takesValue) {
            if (inlineValue) usageError("option '" + name + "' takes no value");
            found->apply(name, "");
            continue;
        }
        if (inlineValue) {
            found->apply(name, *inlineValue);
        } else if (i + 1 < args.size()) {
            found->apply(name, args[++i]);
        } else {
            usageError("option '" + name + "' needs a value");
        }
    }
    return positional;
}

bool parseInteger(const std::string& text, long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || end == text.c_str()) return false;
    out = value;
    return true;
}

ParameterSetting parseSetting(const std::string& text) {
    const auto eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0) {
        usageError("--set needs NAME=VALUE, not '" + text + "'");
    }
    ParameterSetting setting;
    setting.name = text.substr(0, eq);
    const std::string valueText = text.substr(eq + 1);
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(valueText.c_str(), &end);
    if (valueText.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) ||
        value < 0.0 || value > 1.0) {
        usageError("--set " + text + ": the value must be a number from 0 to 1");
    }
    setting.value = static_cast<float>(value);
    return setting;
}

Option helpOption(bool& wanted) {
    return {{"-h", "--help"}, false, [&wanted](const std::string&, const std::string&) {
                wanted = true;
            }};
}

Option pluginOption(std::string& path) {
    return {{"--plugin"}, true, [&path](const std::string& name, const std::string& value) {
                if (value.empty()) usageError("option '" + name + "' needs a value");
                path = value;
            }};
}

void rejectExtra(const std::string& command, const std::vector<std::string>& positional,
                 std::size_t allowed) {
    if (positional.size() > allowed) {
        usageError("unexpected argument '" + positional[allowed] + "' for " + command);
    }
}

Command parseInfo(const std::vector<std::string>& args) {
    InfoCommand cmd;
    bool help = false;
    const auto positional = parseOptions("info", args, {helpOption(help), pluginOption(cmd.pluginPath)});
    if (help) return HelpCommand{"info"};
    rejectExtra("info", positional, 0);
    return cmd;
}

Command parseRender(const std::vector<std::string>& args) {
    RenderCommand cmd;
    bool help = false;
    auto setString = [](std::string& target) {
        return [&target](const std::string& name, const std::string& value) {
            if (value.empty()) usageError("option '" + name + "' needs a value");
            target = value;
        };
    };
    const std::vector<Option> options = {
        helpOption(help),
        pluginOption(cmd.pluginPath),
        {{"-m", "--modulator"}, true, setString(cmd.modulator)},
        {{"-c", "--carrier"}, true, setString(cmd.carrier)},
        {{"-o", "--output"}, true, setString(cmd.output)},
        {{"--program"}, true,
         [&cmd](const std::string&, const std::string& value) {
             long n = 0;
             if (!parseInteger(value, n) || n < 0 || n > 1000000) {
                 usageError("--program needs a program number, not '" + value + "'");
             }
             cmd.program = static_cast<int>(n);
         }},
        {{"--set"}, true,
         [&cmd](const std::string&, const std::string& value) {
             cmd.settings.push_back(parseSetting(value));
         }},
        {{"--block"}, true,
         [&cmd](const std::string&, const std::string& value) {
             long n = 0;
             if (!parseInteger(value, n) || n < 1 || n > kMaxBlockSize) {
                 usageError("--block needs a whole number of frames from 1 to " +
                            std::to_string(kMaxBlockSize) + ", not '" + value + "'");
             }
             cmd.blockSize = static_cast<int>(n);
         }},
        {{"--format"}, true,
         [&cmd](const std::string&, const std::string& value) {
             if (value == "float") {
                 cmd.format = SampleFormat::float32;
             } else if (value == "pcm16") {
                 cmd.format = SampleFormat::pcm16;
             } else if (value == "pcm24") {
                 cmd.format = SampleFormat::pcm24;
             } else {
                 usageError("--format must be float, pcm16 or pcm24, not '" + value + "'");
             }
         }},
        {{"-q", "--quiet"}, false,
         [&cmd](const std::string&, const std::string&) { cmd.quiet = true; }},
    };
    const auto positional = parseOptions("render", args, options);
    if (help) return HelpCommand{"render"};
    rejectExtra("render", positional, 1);
    if (!positional.empty()) cmd.input = positional[0];

    const bool split = !cmd.modulator.empty() || !cmd.carrier.empty();
    if (split && !cmd.input.empty()) {
        usageError("give either one two-channel INPUT or -m and -c, not both");
    }
    if (!split && cmd.input.empty()) {
        usageError("render needs -m MODULATOR and -c CARRIER, or one two-channel INPUT");
    }
    if (split && cmd.modulator.empty()) usageError("render needs -m MODULATOR as well as -c");
    if (split && cmd.carrier.empty()) usageError("render needs -c CARRIER as well as -m");
    if (cmd.output.empty()) usageError("render needs an output file: -o OUT");
    return cmd;
}

Command parseDemo(const std::vector<std::string>& args) {
    DemoCommand cmd;
    bool help = false;
    const std::vector<Option> options = {
        helpOption(help),
        pluginOption(cmd.pluginPath),
        {{"-o", "--output"}, true,
         [&cmd](const std::string& name, const std::string& value) {
             if (value.empty()) usageError("option '" + name + "' needs a value");
             cmd.outputDir = value;
         }},
        {{"-q", "--quiet"}, false,
         [&cmd](const std::string&, const std::string&) { cmd.quiet = true; }},
    };
    const auto positional = parseOptions("demo", args, options);
    if (help) return HelpCommand{"demo"};
    rejectExtra("demo", positional, 0);
    return cmd;
}

}  // namespace

std::string helpText(const std::string& topic) {
    if (topic == "info") return kInfoHelp;
    if (topic == "render") return kRenderHelp;
    if (topic == "demo") return kDemoHelp;
    return kOverview;
}

Command parseCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) {
        usageError("missing command: info, render or demo (see 'halvorine-host --help')");
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "-h" || command == "--help") return HelpCommand{};
    if (command == "help") {
        if (rest.size() > 1) usageError("help takes at most one topic");
        if (!rest.empty() && rest[0] != "info" && rest[0] != "render" && rest[0] != "demo") {
            usageError("no help on '" + rest[0] + "': the commands are info, render and demo");
        }
        return HelpCommand{rest.empty() ? std::string() : rest[0]};
    }
    if (command == "info") return parseInfo(rest);
    if (command == "render") return parseRender(rest);
    if (command == "demo") return parseDemo(rest);
    usageError("unknown command '" + command + "': the commands are info, render and demo");
}

}  // namespace halvorine::host
