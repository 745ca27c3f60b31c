#include "render.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "audio_io.h"
#include "effect.h"
#include "error.h"
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
    if (!cmd.quiet) std::fprintf(stderr, "halvorine-host: %s\n", text.c_str());
}

// Where the two effect inputs come from: one two-channel file, or two mono
// files that may differ in length.
class Sources {
public:
    explicit Sources(const RenderCommand& cmd) {
        if (!cmd.input.empty()) {
            stereo_ = std::make_unique<InputFile>(cmd.input, "input");
            if (stereo_->channels() != 2) {
                fail("input '" + cmd.input + "' has " + std::to_string(stereo_->channels()) +
                     " channel(s); a single INPUT needs two (left modulator, right carrier)"
                     " - or give two mono files with -m and -c");
            }
            rate_ = stereo_->sampleRate();
            frames_ = stereo_->frames();
            return;
        }
        modulator_ = std::make_unique<InputFile>(cmd.modulator, "modulator");
        carrier_ = std::make_unique<InputFile>(cmd.carrier, "carrier");
        for (const InputFile* file : {modulator_.get(), carrier_.get()}) {
            if (file->channels() != 1) {
                fail(file->role() + " '" + file->path() + "' has " +
                     std::to_string(file->channels()) + " channels; -m and -c take mono files"
                     " (a two-channel file goes alone as INPUT)");
            }
        }
        if (modulator_->sampleRate() != carrier_->sampleRate()) {
            fail("modulator '" + cmd.modulator + "' is " +
                 std::to_string(modulator_->sampleRate()) + " Hz but carrier '" + cmd.carrier +
                 "' is " + std::to_string(carrier_->sampleRate()) +
                 " Hz; resample one of them first");
        }
        rate_ = modulator_->sampleRate();
        frames_ = std::max(modulator_->frames(), carrier_->frames());
        if (modulator_->frames() != carrier_->frames()) {
            const bool modShorter = modulator_->frames() < carrier_->frames();
            const InputFile& shorter = modShorter ? *modulator_ : *carrier_;
            note(cmd, "note: the " + shorter.role() + " is shorter (" +
                          seconds(shorter.frames(), rate_) + " against " +
                          seconds(frames_, rate_) + "); padding it with " +
                          seconds(frames_ - shorter.frames(), rate_) + " of silence");
        }
    }

    int sampleRate() const { return rate_; }
    std::int64_t frames() const { return frames_; }

    // Fills `frames` samples of each channel, zeros past a file's end.
    void read(float* modulator, float* carrier, std::size_t frames) {
        if (stereo_) {
            scratch_.resize(frames * 2);
            const std::size_t got = stereo_->read(scratch_.data(), frames);
            for (std::size_t i = 0; i < got; ++i) {
                modulator[i] = scratch_[2 * i];
                carrier[i] = scratch_[2 * i + 1];
            }
            std::fill(modulator + got, modulator + frames, 0.0f);
            std::fill(carrier + got, carrier + frames, 0.0f);
            return;
        }
        std::fill(modulator + modulator_->read(modulator, frames), modulator + frames, 0.0f);
        std::fill(carrier + carrier_->read(carrier, frames), carrier + frames, 0.0f);
    }

private:
    std::unique_ptr<InputFile> stereo_, modulator_, carrier_;
    std::vector<float> scratch_;
    int rate_ = 0;
    std::int64_t frames_ = 0;
};

// Per-channel buffers for as many pins as the effect has; pins beyond the
// first two inputs get silence, outputs beyond the first two are dropped.
struct Buffers {
    Buffers(int inputs, int outputs, int blockSize)
        : in(static_cast<std::size_t>(inputs),
             std::vector<float>(static_cast<std::size_t>(blockSize), 0.0f)),
          out(static_cast<std::size_t>(outputs),
              std::vector<float>(static_cast<std::size_t>(blockSize), 0.0f)) {
        for (auto& channel : in) inPtr.push_back(channel.data());
        for (auto& channel : out) outPtr.push_back(channel.data());
    }
    std::vector<std::vector<float>> in, out;
    std::vector<float*> inPtr, outPtr;
};

}  // namespace

int resolveParameter(const std::string& name, const std::vector<std::string>& names) {
    const int count = static_cast<int>(names.size());
    if (!name.empty() && std::all_of(name.begin(), name.end(),
                                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
        const long index = name.size() > 6 ? count : std::stol(name);
        if (index >= count) {
            fail("parameter index " + name + " is out of range: this plug-in has parameters 0.." +
                 std::to_string(count - 1));
        }
        return static_cast<int>(index);
    }
    const std::string wanted = lower(name);
    for (int i = 0; i < count; ++i) {
        if (!names[static_cast<std::size_t>(i)].empty() &&
            lower(names[static_cast<std::size_t>(i)]) == wanted) {
            return i;
        }
    }
    std::string valid;
    for (const std::string& n : names) {
        if (n.empty()) continue;
        valid += (valid.empty() ? "'" : ", '") + n + "'";
    }
    fail("unknown parameter '" + name + "'; the parameters are " + valid + " (or an index 0.." +
         std::to_string(count - 1) + ")");
}

RenderStats render(const RenderCommand& cmd) {
    const auto start = Clock::now();
    RenderStats stats;

    // Check everything the command line decides before touching the plug-in.
    checkOutputFormat(cmd.output, cmd.format);
    Sources sources(cmd);
    stats.sampleRate = sources.sampleRate();
    stats.frames = sources.frames();

    setHostAudioSettings(static_cast<float>(sources.sampleRate()), cmd.blockSize);
    Effect effect(cmd.pluginPath.empty() ? defaultPluginPath() : cmd.pluginPath);
    effect.open();
    effect.setSampleRate(static_cast<float>(sources.sampleRate()));
    effect.setBlockSize(cmd.blockSize);

    if (cmd.program) {
        const int count = effect.record().numPrograms;
        if (*cmd.program >= count) {
            fail("program " + std::to_string(*cmd.program) + " is out of range: this plug-in has " +
                 (count > 0 ? "programs 0.." + std::to_string(count - 1) : "no programs"));
        }
        effect.setProgram(*cmd.program);
    }
    if (!cmd.settings.empty()) {
        const auto names = effect.parameterNames();
        for (const ParameterSetting& setting : cmd.settings) {
            effect.setParameter(resolveParameter(setting.name, names), setting.value);
        }
    }

    OutputFile output(cmd.output, 2, sources.sampleRate(), cmd.format);
    const AEffect& record = effect.record();
    Buffers buffers(record.numInputs, record.numOutputs, cmd.blockSize);
    std::vector<float> interleaved(static_cast<std::size_t>(cmd.blockSize) * 2);
    Progress progress(stats.frames, stats.sampleRate, !cmd.quiet);

    effect.switchOn();
    std::chrono::steady_clock::duration inEffect{};
    for (std::int64_t done = 0; done < stats.frames;) {
        const auto n = static_cast<int>(std::min<std::int64_t>(cmd.blockSize, stats.frames - done));
        const auto frames = static_cast<std::size_t>(n);
        sources.read(buffers.inPtr[0], buffers.inPtr[1], frames);

        const auto before = Clock::now();
        effect.process(buffers.inPtr.data(), buffers.outPtr.data(), n);
        inEffect += Clock::now() - before;

        const float* left = buffers.outPtr[0];
        const float* right = buffers.outPtr[1];
        for (std::size_t i = 0; i < frames; ++i) {
            interleaved[2 * i] = left[i];
            interleaved[2 * i + 1] = right[i];
        }
        output.write(interleaved.data(), frames);
        done += n;
        progress.update(done);
    }
    effect.switchOff();
    effect.close();
    progress.finish();
    output.commit();

    stats.effectSeconds = std::chrono::duration<double>(inEffect).count();
    stats.totalSeconds = secondsSince(start);
    return stats;
}

}  // namespace halvorine::host
