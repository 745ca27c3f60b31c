#include "render.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "audio_io.h"
#include "effect.h"
#include "hosted_plugin.h"
#include "midi_file.h"
#include "error.h"
#include "factory_presets.h"
#include "progress.h"

namespace halvorine::host {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string seconds(std::int64_t frames, int rate) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f s", static_cast<double>(frames) / rate);
    return buf;
}

void note(const RenderCommand& cmd, const std::string& text) {
    if (!cmd.quiet) std::fprintf(stderr, "halvorine-host: note: %s\n", text.c_str());
}

// Warnings are about the audio itself; --quiet does not hide them.
void warn(const std::string& text) { std::fprintf(stderr, "halvorine-host: warning: %s\n", text.c_str()); }

// Where the two effect inputs come from: one two-channel file, or two mono
// files that may differ in length. Either may be standard input, and its
// length unknown until it ends.
class Sources {
public:
    Sources(const RenderCommand& cmd, std::size_t blockSize) {
        if (!cmd.input.empty()) {
            stereo_ = std::make_unique<InputFile>(cmd.input, "input");
            if (stereo_->channels() == 1 && cmd.carrierOptional()) {  // the modulator alone
                modulator_ = std::move(stereo_);
                rate_ = modulator_->sampleRate();
                return;
            }
            if (stereo_->channels() != 2) {
                fail(stereo_->describe() + " has " + std::to_string(stereo_->channels()) +
                     " channel(s); a single INPUT needs two (left modulator, right carrier)"
                     " - or give two mono files with -m and -c");
            }
            rate_ = stereo_->sampleRate();
            scratch_.resize(blockSize * 2);
            return;
        }
        modulator_ = std::make_unique<InputFile>(cmd.modulator, "modulator");
        rate_ = modulator_->sampleRate();
        if (cmd.carrier.empty()) {  // with notes: the synth may be the carrier
            if (modulator_->channels() != 1) {
                fail(modulator_->describe() + " has " + std::to_string(modulator_->channels()) +
                     " channels; -m takes a mono file (a two-channel one goes alone as INPUT)");
            }
            return;
        }
        carrier_ = std::make_unique<InputFile>(cmd.carrier, "carrier");
        for (const InputFile* file : {modulator_.get(), carrier_.get()}) {
            if (file->channels() != 1) {
                fail(file->describe() + " has " + std::to_string(file->channels()) +
                     " channels; -m and -c take mono files (a two-channel file goes alone as"
                     " INPUT)");
            }
        }
        if (modulator_->sampleRate() != carrier_->sampleRate()) {
            fail(modulator_->describe() + " is " + std::to_string(modulator_->sampleRate()) +
                 " Hz but " + carrier_->describe() + " is " +
                 std::to_string(carrier_->sampleRate()) + " Hz; resample one of them first");
        }
    }

    int sampleRate() const { return rate_; }
    bool hasCarrier() const { return stereo_ || carrier_; }

    // The length the headers promise, or nothing when one of them cannot tell.
    std::optional<std::int64_t> expectedFrames() const {
        std::int64_t frames = 0;
        for (const InputFile* file : files()) {
            if (!file->lengthKnown()) return std::nullopt;
            frames = std::max<std::int64_t>(frames, file->headerFrames());
        }
        return frames;
    }

    // Fills `frames` samples of each channel, zeros past an input's end.
    // Returns how many frames the longer input still had: 0 once both
    // have ended.
    std::size_t read(float* modulator, float* carrier, std::size_t frames) {
        if (stereo_) {
            const std::size_t got = stereo_->read(scratch_.data(), frames);
            for (std::size_t i = 0; i < got; ++i) {
                modulator[i] = scratch_[2 * i];
                carrier[i] = scratch_[2 * i + 1];
            }
            std::fill(modulator + got, modulator + frames, 0.0f);
            std::fill(carrier + got, carrier + frames, 0.0f);
            return got;
        }
        const std::size_t mod = modulator_->read(modulator, frames);
        const std::size_t car = carrier_ ? carrier_->read(carrier, frames) : 0;
        std::fill(modulator + mod, modulator + frames, 0.0f);
        std::fill(carrier + car, carrier + frames, 0.0f);
        return std::max(mod, car);
    }

    // What the user should know once the inputs have ended.
    void report(const RenderCommand& cmd) const {
        for (const InputFile* file : files()) {
            if (file->nonFiniteSamples() > 0) {
                warn("the " + file->describe() + " has " +
                     std::to_string(file->nonFiniteSamples()) +
                     " non-finite samples (NaN or infinite); they were read as silence");
            }
            if (const std::string shortfall = file->shortfall(); !shortfall.empty()) {
                note(cmd, shortfall);
            }
        }
        if (stereo_ || !carrier_) return;
        const std::int64_t mod = modulator_->framesRead();
        const std::int64_t car = carrier_->framesRead();
        if (mod != car) {
            const InputFile& shorter = mod < car ? *modulator_ : *carrier_;
            const std::int64_t longer = std::max(mod, car);
            note(cmd, "the " + shorter.role() + " is shorter (" + seconds(shorter.framesRead(), rate_) +
                          " against " + seconds(longer, rate_) + "); padding it with " +
                          seconds(longer - shorter.framesRead(), rate_) + " of silence");
        }
    }

private:
    std::vector<const InputFile*> files() const {
        if (stereo_) return {stereo_.get()};
        if (!carrier_) return {modulator_.get()};
        return {modulator_.get(), carrier_.get()};
    }

    std::unique_ptr<InputFile> stereo_, modulator_, carrier_;
    std::vector<float> scratch_;
    int rate_ = 0;
};

bool isIndex(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isdigit(c) != 0;
    });
}

std::string quotedList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& n : names) {
        if (n.empty()) continue;
        list += (list.empty() ? "'" : ", '") + n + "'";
    }
    return list;
}

// A number and its unit as written: "+30dB" is 30 in "db", "1.2 kHz" is
// 1200 in "hz". False for texts of other shapes (the mix's "100%/50").
bool readQuantity(const std::string& text, double& number, std::string& unit) {
    const char* begin = text.c_str();
    char* end = nullptr;
    number = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(number)) return false;
    unit.clear();
    for (const char* p = end; *p; ++p)
        if (*p != ' ') unit += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    if (unit.find_first_of("/0123456789") != std::string::npos) return false;
    if (unit == "khz") {
        number *= 1000.0;
        unit = "hz";
    }
    return true;
}

// Like sox, says so when a value beyond the parameter's range was brought
// to its end: "Boost +30dB is above +20dB; using +20dB".
void warnIfClamped(HostedPlugin& effect, const std::string& parameter, int index,
                   const ParameterSetting& setting) {
    const int end = effect.rangeEnd(index);
    if (end == 0) return;
    std::string limit = effect.display(index);
    double given = 0.0, limitValue = 0.0;
    std::string givenUnit, endUnit;
    if (!readQuantity(setting.text, given, givenUnit) || !readQuantity(limit, limitValue, endUnit)) return;
    if (!givenUnit.empty() && givenUnit != endUnit) return;
    const bool above = end == 1 && given > limitValue;
    const bool below = end == -1 && given < limitValue;
    if (!above && !below) return;
    if (setting.text[0] == '+' && limitValue > 0.0 && limit[0] != '+') limit = "+" + limit;
    const std::string name = parameter.empty() ? setting.name : parameter;
    warn(name + " " + setting.text + (above ? " is above " : " is below ") + limit + "; using " +
         limit);
}

// Sets a parameter from a text in its units; a text the effect refuses is
// the user's to mend, so the message shows the forms the effect itself
// shows.
void setFromText(HostedPlugin& effect, const std::string& parameter, int index,
                 const ParameterSetting& setting) {
    if (effect.setText(index, setting.text)) {
        warnIfClamped(effect, parameter, index, setting);
        return;
    }
    const std::string name = parameter.empty() ? "parameter " + std::to_string(index) : parameter;
    const std::string now = effect.display(index);
    const auto [low, high] = effect.displayRange(index);
    if (low.empty() && high.empty()) {
        usageError("--set " + setting.name + "=" + setting.text + ": the plug-in does not read '" +
                   setting.text + "' as " + name + " and shows no value texts for it; give a"
                   " number from 0 to 1");
    }
    usageError("--set " + setting.name + "=" + setting.text + ": the plug-in does not read '" +
               setting.text + "' as " + name + "; it shows " + name + " from '" + low + "' to '" +
               high + "'" + (now.empty() ? "" : " (now '" + now + "')") +
               ": give a value in that form, or a number from 0 to 1");
}

}  // namespace

std::string peakText(float peak) {
    if (!(peak > 0.0f)) return "-inf dBFS";
    if (std::isinf(peak)) return "+inf dBFS";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f dBFS", 20.0 * std::log10(static_cast<double>(peak)));
    return buf;
}

namespace {

// The index a command line gives as digits (too many digits count as out of
// range), or the position of a name in `names`, in any letter case.
long indexGiven(const std::string& digits, int count) {
    return digits.size() > 6 ? count : std::stol(digits);
}

std::optional<int> findByName(const std::string& name, const std::vector<std::string>& names) {
    const std::string wanted = lower(name);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!names[i].empty() && lower(names[i]) == wanted) return static_cast<int>(i);
    return std::nullopt;
}

}  // namespace

int resolveParameter(const std::string& name, const std::vector<std::string>& names) {
    const int count = static_cast<int>(names.size());
    if (isIndex(name)) {
        const long index = indexGiven(name, count);
        if (index >= count) {
            usageError("parameter index " + name +
                       " is out of range: this plug-in has parameters 0.." +
                       std::to_string(count - 1));
        }
        return static_cast<int>(index);
    }
    if (const auto found = findByName(name, names)) return *found;
    usageError("unknown parameter '" + name + "'; the parameters are " + quotedList(names) +
               " (or an index 0.." + std::to_string(count - 1) + ")");
}

int resolveProgram(const std::string& text, const std::vector<std::string>& names) {
    const int count = static_cast<int>(names.size());
    const std::string range =
        count > 0 ? "programs 0.." + std::to_string(count - 1) : std::string("no programs");
    if (isIndex(text)) {
        const long index = indexGiven(text, count);
        if (index >= count) {
            usageError("program " + text + " is out of range: this plug-in has " + range +
                       (count > 0 ? " (" + quotedList(names) + ")" : ""));
        }
        return static_cast<int>(index);
    }
    if (const auto found = findByName(text, names)) return *found;
    usageError("unknown program '" + text + "'; this plug-in has " + range +
               (count > 0 ? ": " + quotedList(names) : ""));
}

namespace {

// The factory preset of a name in any letter case; a usage error naming
// them all for anything else.
int resolvePreset(const std::string& name) {
    const int preset = findFactoryPreset(name.c_str());
    if (preset >= 0) return preset;
    std::vector<std::string> names;
    for (int i = 0; i < kFactoryPresetCount; ++i) names.emplace_back(kFactoryPresetTexts[i].name);
    usageError("unknown preset '" + name + "'; the presets are " + quotedList(names));
}

// The notes of --notes at the first frame, then those of --midi, in
// time order; key velocity 100 for held notes.
std::vector<NoteEvent> noteEvents(const RenderCommand& cmd, int sampleRate) {
    std::vector<NoteEvent> events;
    for (const int key : cmd.notes) {
        NoteEvent e;
        e.data[0] = 0x90;
        e.data[1] = static_cast<std::uint8_t>(key);
        e.data[2] = 100;
        events.push_back(e);
    }
    if (!cmd.midiFile.empty()) {
        const std::vector<NoteEvent> file = readMidiFile(cmd.midiFile, sampleRate);
        events.insert(events.end(), file.begin(), file.end());
    }
    return events;
}

}  // namespace

RenderStats render(const RenderCommand& cmd) {
    const auto start = Clock::now();
    RenderStats stats;
    const int preset = cmd.preset ? resolvePreset(*cmd.preset) : -1;

    // Check everything the command line decides before touching the plug-in.
    outputType(cmd.output, cmd.format);
    checkOutputTarget(cmd.output);
    const auto blockSize = static_cast<std::size_t>(cmd.blockSize);
    Sources sources(cmd, blockSize);
    stats.sampleRate = sources.sampleRate();
    const OutputType type = outputType(cmd.output, cmd.format, stats.sampleRate);
    stats.format = type.format;

    // Read the notes before the plug-in loads: a bad MIDI file ends here.
    const std::vector<NoteEvent> events = noteEvents(cmd, stats.sampleRate);

    setHostAudioSettings(static_cast<float>(sources.sampleRate()), cmd.blockSize);
    const std::string path = !cmd.pluginPath.empty() ? cmd.pluginPath
                             : cmd.playsNotes()      ? defaultClapPath()
                                                     : defaultPluginPath();
    const std::unique_ptr<HostedPlugin> effect = loadPlugin(path, stats.sampleRate, cmd.blockSize);
    if (cmd.playsNotes()) effect->requireNoteInput();
    if (!sources.hasCarrier()) effect->requireSynth();

    if (cmd.program) effect->setProgram(resolveProgram(*cmd.program, effect->programNames()));
    if (preset >= 0) effect->loadFactoryPreset(preset);
    if (!cmd.settings.empty()) {
        const auto names = effect->parameterNames();
        for (const ParameterSetting& setting : cmd.settings) {
            const int index = resolveParameter(setting.name, names);
            if (setting.value) {
                effect->setNormalised(index, *setting.value);
            } else {
                setFromText(*effect, names[static_cast<std::size_t>(index)], index, setting);
            }
        }
    }

    OutputFile output(cmd.output, 2, sources.sampleRate(), type, sources.expectedFrames());
    std::vector<float> modulator(blockSize), carrier(blockSize), left(blockSize), right(blockSize);
    std::vector<float> interleaved(blockSize * 2);
    std::size_t nextEvent = 0;
    Progress progress(sources.expectedFrames().value_or(-1), stats.sampleRate, !cmd.quiet);
    const bool integer = type.integer();

    effect->start();
    std::chrono::steady_clock::duration inEffect{};
    constexpr std::uint32_t kOneBits = 0x3F800000u;       // 1.0f
    constexpr std::uint32_t kInfinityBits = 0x7F800000u;  // +inf
    std::uint32_t peakBits = 0;                          // 0.0f
    std::int64_t clipped = 0;
    std::int64_t nonFinite = 0;
    for (;;) {
        const std::size_t frames = sources.read(modulator.data(), carrier.data(), blockSize);
        if (frames == 0) break;
        const auto n = static_cast<int>(frames);
        std::size_t lastEvent = nextEvent;
        while (lastEvent < events.size() && events[lastEvent].frame < stats.frames + n) ++lastEvent;

        const auto before = Clock::now();
        effect->process(modulator.data(), carrier.data(), left.data(), right.data(), n, stats.frames,
                        events.data() + nextEvent, lastEvent - nextEvent);
        inEffect += Clock::now() - before;
        nextEvent = lastEvent;

        for (std::size_t i = 0; i < frames; ++i) {
            interleaved[2 * i] = left[i];
            interleaved[2 * i + 1] = right[i];
        }
        // The peak and the clip count on the samples' bit patterns: for
        // magnitudes they order as the values do, and integer maxima and
        // counts vectorise where float ones may not. Not-a-number counts as
        // infinitely loud, in the peak and in the clip count alike.
        std::int32_t blockClipped = 0, blockNonFinite = 0;
        for (std::size_t i = 0; i < 2 * frames; ++i) {
            std::uint32_t magnitude;
            std::memcpy(&magnitude, &interleaved[i], sizeof magnitude);
            magnitude &= 0x7FFFFFFFu;
            blockNonFinite += magnitude >= kInfinityBits ? 1 : 0;
            magnitude = magnitude > kInfinityBits ? kInfinityBits : magnitude;
            peakBits = magnitude > peakBits ? magnitude : peakBits;
            blockClipped += magnitude > kOneBits ? 1 : 0;
        }
        clipped += blockClipped;
        nonFinite += blockNonFinite;
        output.write(interleaved.data(), frames);
        stats.frames += n;
        progress.update(stats.frames);
    }
    effect->stop();
    progress.finish(stats.frames);
    sources.report(cmd);
    const auto messages = [](std::int64_t n) {
        return std::to_string(n) + (n == 1 ? " MIDI message" : " MIDI messages");
    };
    if (nextEvent < events.size()) {
        note(cmd, messages(static_cast<std::int64_t>(events.size() - nextEvent)) +
                      " after the input's end (" + seconds(stats.frames, stats.sampleRate) + ") left out");
    }
    if (const std::int64_t leftOut = effect->messagesLeftOut(); leftOut > 0) {
        note(cmd, messages(leftOut) + " other than notes left out: the plug-in's note input takes CLAP"
                  " notes only");
    }
    float peak;
    std::memcpy(&peak, &peakBits, sizeof peak);
    stats.peak = peak;
    if (nonFinite > 0) {
        warn("the plug-in wrote " + std::to_string(nonFinite) +
             " non-finite samples (NaN or infinite); they count as infinitely loud in the peak"
             " and the clip count");
    }
    if (integer) {
        stats.clipped = clipped;
        if (clipped > 0) {
            warn(std::to_string(clipped) + " samples clipped: they lie beyond full scale, which " +
                 formatName(type.format) + " cannot hold (peak " + peakText(peak) +
                 "; float keeps them)");
        }
    }
    output.commit();

    stats.effectSeconds = std::chrono::duration<double>(inEffect).count();
    stats.totalSeconds = secondsSince(start);
    return stats;
}

}  // namespace halvorine::host
