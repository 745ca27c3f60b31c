#include "hosted_plugin.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "effect.h"
#include "error.h"
#include "factory_presets.h"

namespace halvorine::host {

namespace {

// A VST 2 effect: input 0 the modulator, input 1 the carrier, further pins
// silent; outputs 0 and 1 written, further ones dropped.
class Vst2Plugin final : public HostedPlugin {
public:
    Vst2Plugin(const std::string& path, int sampleRate, int blockSize) : effect_(path) {
        effect_.open();
        effect_.setSampleRate(static_cast<float>(sampleRate));
        effect_.setBlockSize(blockSize);
        const AEffect& record = effect_.record();
        const auto frames = static_cast<std::size_t>(blockSize);
        spare_.assign(static_cast<std::size_t>(record.numInputs + record.numOutputs),
                      std::vector<float>(frames, 0.0f));
        inputs_.resize(static_cast<std::size_t>(record.numInputs));
        outputs_.resize(static_cast<std::size_t>(record.numOutputs));
        for (std::size_t i = 2; i < inputs_.size(); ++i) inputs_[i] = spare_[i].data();
        for (std::size_t i = 2; i < outputs_.size(); ++i) outputs_[i] = spare_[inputs_.size() + i].data();
    }

    std::vector<std::string> parameterNames() override { return effect_.parameterNames(); }
    void setNormalised(int index, float value) override { effect_.setParameter(index, value); }
    bool setText(int index, const std::string& text) override {
        return effect_.setParameterText(index, text);
    }
    int rangeEnd(int index) override {
        const float v = effect_.parameter(index);
        return v == 0.0f ? -1 : v == 1.0f ? 1 : 0;
    }
    std::string display(int index) override { return effect_.parameterDisplay(index); }
    std::pair<std::string, std::string> displayRange(int index) override {
        return effect_.displayRange(index);
    }
    std::vector<std::string> programNames() override { return effect_.programNames(); }
    void setProgram(int index) override { effect_.setProgram(index); }
    // As a VST 2 host applies a program file: the name, then every value.
    void loadFactoryPreset(int preset) override {
        const FactoryPreset& p = factoryPresets()[preset];
        effect_.setProgramName(p.name);
        for (int slot = 0; slot < engine::kHostParameters; ++slot) effect_.setParameter(slot, p.values[slot]);
    }
    void requireNoteInput() override {
        fail("'" + effect_.path() + "' is a VST 2 plug-in, which has no synth to play --notes or"
             " --midi; pass the CLAP build (--plugin .../Halvorine.clap)");
    }
    void requireSynth() override {
        fail("'" + effect_.path() + "' is a VST 2 plug-in, which has no synth: it needs a carrier, so a"
             " single INPUT needs two channels (left modulator, right carrier), or give -m and -c");
    }
    void start() override { effect_.switchOn(); }
    void process(float* modulator, float* carrier, float* left, float* right, int frames,
                 std::int64_t, const NoteEvent*, std::size_t) override {
        inputs_[0] = modulator;
        inputs_[1] = carrier;
        outputs_[0] = left;
        outputs_[1] = right;
        effect_.process(inputs_.data(), outputs_.data(), frames);
    }
    void stop() override {
        effect_.switchOff();
        effect_.close();
    }

private:
    Effect effect_;
    std::vector<std::vector<float>> spare_;
    std::vector<float*> inputs_, outputs_;
};

}  // namespace

std::unique_ptr<HostedPlugin> loadPlugin(const std::string& path, int sampleRate, int blockSize) {
    // The symbol decides; a .clap file that cannot be opened is reported as one.
    const bool clapName = path.size() > 5 && path.compare(path.size() - 5, 5, ".clap") == 0;
    if (exportsClapEntry(path) || clapName) return loadClapPlugin(path, sampleRate, blockSize);
    return std::make_unique<Vst2Plugin>(path, sampleRate, blockSize);
}

std::string defaultClapPath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) fail("cannot find the folder of halvorine-host itself; pass --plugin PATH");
    // In a build, clap/ beside bin/; installed, lib/clap under the same
    // prefix as bin/, or ~/.clap beside ~/.local/bin.
    const auto dir = exe.parent_path();
    std::vector<std::filesystem::path> places = {dir.parent_path() / "clap/Halvorine.clap",
                                                 dir / "Halvorine.clap",
                                                 dir.parent_path() / "lib/clap/Halvorine.clap"};
    if (const char* home = std::getenv("HOME"); home && *home) {
        places.push_back(std::filesystem::path(home) / ".clap/Halvorine.clap");
    }
    for (const auto& place : places) {
        if (std::filesystem::exists(place, ec)) return place.string();
    }
    return places.front().string();
}

}  // namespace halvorine::host
