#include "cli.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "error.h"
#include "halvorine_version.h"
#include "midi_file.h"

namespace halvorine::host {

namespace {

struct FormatName {
    SampleFormat format;
    const char* name;
};

constexpr FormatName kFormatNames[] = {
    {SampleFormat::pcm8, "pcm8"},     {SampleFormat::pcm16, "pcm16"},
    {SampleFormat::pcm24, "pcm24"},   {SampleFormat::pcm32, "pcm32"},
    {SampleFormat::float32, "float"}, {SampleFormat::float64, "double"},
    {SampleFormat::vorbis, "vorbis"}, {SampleFormat::opus, "opus"},
};

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

const char* formatName(SampleFormat format) {
    for (const FormatName& f : kFormatNames) {
        if (f.format == format) return f.name;
    }
    return "float";
}

std::optional<SampleFormat> parseFormatName(const std::string& name) {
    const std::string wanted = lowerCase(name);
    for (const FormatName& f : kFormatNames) {
        if (wanted == f.name) return f.format;
    }
    return std::nullopt;
}

std::string versionText() { return std::string("halvorine-host ") + kProductVersion + "\n"; }

namespace {

const char* const kUsage =
    "usage:\n"
    "  halvorine-host info [--plugin PATH]\n"
    "  halvorine-host render -m MODULATOR -c CARRIER -o OUT [options]\n"
    "  halvorine-host render INPUT -o OUT [options]\n"
    "  halvorine-host render -m MODULATOR (--notes NOTES | --midi FILE) -o OUT [options]\n"
    "  halvorine-host demo [-o DIR] [--plugin PATH] [--quiet]\n"
    "  halvorine-host help [info|render|demo|help]\n"
    "  halvorine-host --version\n";

const char* const kOverviewTail =
    "\n"
    "--plugin PATH defaults to the halvorine.so beside this executable, else the\n"
    "installed one (../lib/vst/halvorine.so from this executable, or ~/.vst);\n"
    "with --notes or --midi to the CLAP build (../clap/Halvorine.clap from this\n"
    "executable, ../lib/clap, or ~/.clap). A CLAP file is told from a VST 2\n"
    "library by the entry it exports.\n"
    "Exit status: 0 done, 1 failed (files, plug-in), 2 wrong usage.\n";

const char* const kInfoHelp =
    "usage: halvorine-host info [--plugin PATH]\n"
    "\n"
    "Loads the plug-in as a host does and prints what a host sees: names,\n"
    "unique ID, VST version, pins, flags, parameters with their value texts\n"
    "and ranges, programs and the answers to its capability questions.\n";

const char* const kRenderIntro =
    "usage: halvorine-host render -m MODULATOR -c CARRIER -o OUT [options]\n"
    "       halvorine-host render INPUT -o OUT [options]\n"
    "       halvorine-host render -m MODULATOR (--notes NOTES | --midi FILE) -o OUT [options]\n"
    "\n"
    "Runs the modulator (input 0) and the carrier (input 1) through the\n"
    "plug-in and writes its two outputs to OUT. -m and -c take mono files;\n"
    "a single INPUT must have two channels: left modulator, right carrier.\n"
    "Any file type libsndfile reads will do, and '-' reads one of them from\n"
    "standard input; both must have the same rate, and the shorter one is\n"
    "padded with silence. OUT's extension picks the file type (.wav, .aiff,\n"
    ".flac, .ogg, .opus, .caf, .w64, ...).\n"
    "\n"
    "The synth of the CLAP build can be the carrier (--set Carrier=Synth), played\n"
    "by --notes or --midi or held by its drone: with notes or with --plugin\n"
    "naming a CLAP plug-in, -m MODULATOR alone, or a mono INPUT, is enough (the\n"
    "carrier input is silent); a stereo INPUT or -c still feeds the carrier\n"
    "input. Notes need a plug-in with a note input, the CLAP build; the render\n"
    "lasts as long as the audio input.\n";

const char* const kRenderOptions =
    "\n"
    "render options:\n"
    "  -o, --output OUT      file to write (replaced only when the render succeeds)\n"
    "  -m, --modulator FILE  the modulator, mono ('-': standard input)\n"
    "  -c, --carrier FILE    the carrier, mono ('-': standard input)\n"
    "  --program P           select program P, by number or name, first\n"
    "  --preset NAME         load factory preset NAME (any case; 'info' lists\n"
    "                        them) into the program, after --program\n"
    "  --set NAME=VALUE      set a parameter, by name (any case) or index: a bare\n"
    "                        number is the value from 0 to 1, anything else a\n"
    "                        value as the plug-in shows it ('Boost=+6dB',\n"
    "                        'Mix=100%/50', 'Carrier=Synth'); repeatable, applied\n"
    "                        in order after the program\n"
    "  --notes NOTES         hold these notes for the whole render: pitch names,\n"
    "                        middle C being C4 (\"A3 C4 E4\", \"F#2\", \"Bb4\")\n"
    "  --midi FILE           play a Standard MIDI File (format 0 or 1, every track,\n"
    "                        its tempo map), each message at its frame\n"
    "  --block N             frames per processing block, 1 to 65536 (default 512)\n"
    "  --format F            pcm8, pcm16, pcm24, pcm32, float, double, vorbis or\n"
    "                        opus, as OUT's type allows (default: float for WAV,\n"
    "                        AIFF, CAF, W64 and RF64, pcm24 for FLAC, vorbis for\n"
    "                        .ogg and .oga, opus for .opus)\n"
    "  --plugin PATH         the plug-in to load: a VST 2 library or a .clap file\n"
    "  -q, --quiet           no progress bar and no notes (warnings remain)\n";

const char* const kDemoHelp =
    "usage: halvorine-host demo [-o DIR] [--plugin PATH] [--quiet]\n"
    "\n"
    "Synthesises a modulator (a sung, rhythmic phrase) and a carrier\n"
    "(detuned sawtooth chords), renders them through the plug-in with its\n"
    "default program and writes modulator.wav, carrier.wav and halvorine.wav\n"
    "into DIR (default: the current folder), plus spectrogram.png when sox\n"
    "is installed.\n";

const char* const kHelpHelp =
    "usage: halvorine-host help [info|render|demo|help]\n"
    "       halvorine-host COMMAND --help\n"
    "\n"
    "Shows what a command does and its options; without a command, an\n"
    "overview. --version prints the version.\n";

std::string programList(const std::vector<std::string>& programs) {
    if (programs.empty()) return {};
    std::string text = "\nprograms (for --program):\n";
    for (std::size_t i = 0; i < programs.size(); ++i) {
        text += "  " + std::to_string(i) + "  " + (programs[i].empty() ? "(no name)" : programs[i]) +
                "\n";
    }
    return text;
}

// One option of a command: its spellings, whether it takes a value, and
// what to do with it.
struct Option {
    std::vector<std::string> names;
    bool takesValue;
    std::function<void(const std::string& spelled, const std::string& value)> apply;
};

const Option* findOption(const std::vector<Option>& options, const std::string& name) {
    for (const Option& option : options) {
        for (const std::string& spelling : option.names) {
            if (spelling == name) return &option;
        }
    }
    return nullptr;
}

// Walks the arguments of one command, handing options to their handlers
// and collecting the rest as positional arguments. A lone "-" is
// positional (standard input); a short option's value may follow it
// directly ("-oout.wav"), a long option's after "=".
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
        } else if (arg.size() > 2) {
            const Option* shortOption = findOption(options, arg.substr(0, 2));
            if (shortOption != nullptr && shortOption->takesValue) {
                name = arg.substr(0, 2);
                inlineValue = arg.substr(2);
            }
        }
        const Option* found = findOption(options, name);
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

// NAME=VALUE. A VALUE that is a number alone is the normalised value; any
// other text, a number with its unit ("640Hz", "+6dB", "19 bands",
// "100%/50") or a word ("Synth", "A3"), is left for the plug-in to read.
ParameterSetting parseSetting(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        usageError("--set needs NAME=VALUE, not '" + text + "'");
    }
    ParameterSetting setting;
    setting.name = text.substr(0, eq);
    setting.text = text.substr(eq + 1);
    const std::string& valueText = setting.text;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(valueText.c_str(), &end);
    const bool numberFirst = end != valueText.c_str() && std::isfinite(value);
    if (numberFirst && *end != '\0') return setting;  // a value with a unit
    if (!valueText.empty() && end == valueText.c_str()) return setting;  // a word
    if (valueText.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) ||
        value < 0.0 || value > 1.0) {
        usageError("--set " + text +
                   ": the value must be a number from 0 to 1, or a value with its unit as"
                   " 'halvorine-host info' shows them");
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
    if (help) return HelpCommand{"info", cmd.pluginPath};
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
             if (value.empty()) usageError("--program needs a program number or name");
             cmd.program = value;
         }},
        {{"--preset"}, true,
         [&cmd](const std::string&, const std::string& value) {
             if (value.empty()) usageError("--preset needs a preset name");
             cmd.preset = value;
         }},
        {{"--set"}, true,
         [&cmd](const std::string&, const std::string& value) {
             cmd.settings.push_back(parseSetting(value));
         }},
        {{"--notes"}, true,
         [&cmd](const std::string&, const std::string& value) {
             for (const int key : parseNoteList(value)) cmd.notes.push_back(key);
         }},
        {{"--midi"}, true,
         [&cmd](const std::string& name, const std::string& value) {
             if (value.empty()) usageError("option '" + name + "' needs a value");
             if (value == "-") usageError("--midi reads a file, not standard input");
             cmd.midiFile = value;
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
             cmd.format = parseFormatName(value);
             if (!cmd.format) {
                 usageError("--format must be pcm8, pcm16, pcm24, pcm32, float, double, vorbis"
                            " or opus, not '" + value + "'");
             }
         }},
        {{"-q", "--quiet"}, false,
         [&cmd](const std::string&, const std::string&) { cmd.quiet = true; }},
    };
    const auto positional = parseOptions("render", args, options);
    if (help) return HelpCommand{"render", cmd.pluginPath};
    rejectExtra("render", positional, 1);
    if (!positional.empty()) cmd.input = positional[0];

    const bool split = !cmd.modulator.empty() || !cmd.carrier.empty();
    if (split && !cmd.input.empty()) {
        usageError("give either one two-channel INPUT or -m and -c, not both");
    }
    if (!split && cmd.input.empty()) {
        usageError(cmd.playsNotes() ? "render needs the modulator: -m MODULATOR or an INPUT file"
                                    : "render needs -m MODULATOR and -c CARRIER, or one two-channel INPUT");
    }
    if (split && cmd.modulator.empty()) usageError("render needs -m MODULATOR as well as -c");
    if (split && cmd.carrier.empty() && !cmd.carrierOptional()) {
        usageError("render needs -c CARRIER as well as -m (or the synth of the CLAP build: --notes,"
                   " --midi or --plugin .../Halvorine.clap)");
    }
    if (split && cmd.modulator == "-" && cmd.carrier == "-") {
        usageError("standard input ('-') can stand for one input only, not both");
    }
    if (cmd.output.empty()) usageError("render needs an output file: -o OUT");
    if (cmd.output == "-") {
        usageError("render writes to a file, not to standard output: give -o a file name");
    }
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
    if (help) return HelpCommand{"demo", cmd.pluginPath};
    rejectExtra("demo", positional, 0);
    return cmd;
}

}  // namespace

std::string helpText(const std::string& topic, const std::vector<std::string>& programs) {
    if (topic == "info") return kInfoHelp;
    if (topic == "render") return kRenderIntro + std::string(kRenderOptions) + programList(programs);
    if (topic == "demo") return kDemoHelp;
    if (topic == "help") return kHelpHelp;
    return "halvorine-host: runs audio through the Halvorine VST 2 or CLAP plug-in.\n\n" +
           std::string(kUsage) + kRenderOptions + programList(programs) + kOverviewTail;
}

Command parseCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) {
        usageError("missing command: info, render or demo (see 'halvorine-host --help')");
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "-h" || command == "--help") return HelpCommand{};
    if (command == "--version" || command == "-V") {
        rejectExtra("--version", rest, 0);
        return VersionCommand{};
    }
    if (command == "help") {
        if (rest.size() > 1) usageError("help takes at most one topic");
        if (!rest.empty() && rest[0] != "info" && rest[0] != "render" && rest[0] != "demo" &&
            rest[0] != "help") {
            usageError("no help on '" + rest[0] + "': the commands are info, render and demo");
        }
        return HelpCommand{rest.empty() ? std::string() : rest[0], {}};
    }
    if (command == "info") return parseInfo(rest);
    if (command == "render") return parseRender(rest);
    if (command == "demo") return parseDemo(rest);
    usageError("unknown command '" + command + "': the commands are info, render and demo");
}

}  // namespace halvorine::host
