// How much of a render is the host's own work (reading, converting,
// blocking, writing) and how much the effect's.
//
//   halvorine_bench_host_overhead [PLUGIN] [SECONDS]
//
// Renders SECONDS (default 60) of a stereo 44.1 kHz float file through the
// plug-in with halvorine-host's render path, several times, and reports the
// time spent outside the effect's process calls: loading, reading,
// converting, blocking and writing. For comparison it also times the
// effect alone on the same audio held in memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio_io.h"
#include "effect.h"
#include "error.h"
#include "render.h"
#include "synth.h"

namespace fs = std::filesystem;
using namespace halvorine::host;

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 512;
constexpr int kRuns = 7;

double effectAlone(const std::string& plugin, const std::vector<float>& modulator,
                   const std::vector<float>& carrier) {
    setHostAudioSettings(static_cast<float>(kRate), kBlock);
    Effect effect(plugin);
    effect.open();
    effect.setSampleRate(static_cast<float>(kRate));
    effect.setBlockSize(kBlock);
    effect.switchOn();
    std::vector<float> left(kBlock), right(kBlock), in0(kBlock), in1(kBlock);
    float* inputs[2] = {in0.data(), in1.data()};
    float* outputs[2] = {left.data(), right.data()};
    std::chrono::steady_clock::duration spent{};
    for (std::size_t done = 0; done < modulator.size();) {
        const std::size_t n = std::min<std::size_t>(kBlock, modulator.size() - done);
        std::copy_n(modulator.begin() + static_cast<std::ptrdiff_t>(done), n, in0.begin());
        std::copy_n(carrier.begin() + static_cast<std::ptrdiff_t>(done), n, in1.begin());
        const auto start = std::chrono::steady_clock::now();
        effect.process(inputs, outputs, static_cast<int>(n));
        spent += std::chrono::steady_clock::now() - start;
        done += n;
    }
    effect.switchOff();
    effect.close();
    return std::chrono::duration<double>(spent).count();
}

// Prints the median run's split and returns its overhead in percent.
double report(const char* label, std::vector<RenderStats> runs) {
    auto overhead = [](const RenderStats& s) { return s.totalSeconds - s.effectSeconds; };
    auto share = [&](const RenderStats& s) { return 100.0 * overhead(s) / s.totalSeconds; };
    std::sort(runs.begin(), runs.end(),
              [&](const RenderStats& a, const RenderStats& b) { return share(a) < share(b); });
    const RenderStats& median = runs[runs.size() / 2];
    std::printf("%-18s %6.3f s in all, %6.3f s in the effect, host %6.3f s = %5.2f %% "
                "(median; runs %.2f..%.2f %%)\n",
                label, median.totalSeconds, median.effectSeconds, overhead(median), share(median),
                share(runs.front()), share(runs.back()));
    return share(median);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        std::string plugin = HALVORINE_BENCH_PLUGIN;
        if (argc > 1) plugin = argv[1];
        const double seconds = argc > 2 ? std::atof(argv[2]) : 60.0;
        if (plugin.empty()) {
            std::fprintf(stderr, "usage: %s PLUGIN [SECONDS]\n", argv[0]);
            return 2;
        }

        std::string pattern = (fs::temp_directory_path() / "halvorine-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) fail("cannot make a temporary folder");
        const fs::path dir = pattern;

        const auto modulator = synthModulator(kRate, seconds);
        const auto carrier = synthCarrier(kRate, seconds);
        std::vector<float> stereo(modulator.size() * 2);
        for (std::size_t i = 0; i < modulator.size(); ++i) {
            stereo[2 * i] = modulator[i];
            stereo[2 * i + 1] = carrier[i];
        }
        {
            const std::string inputPath = (dir / "input.wav").string();
            OutputFile input(inputPath, 2, kRate, outputType(inputPath, SampleFormat::float32));
            input.write(stereo.data(), modulator.size());
            input.commit();
        }

        RenderCommand cmd;
        cmd.input = (dir / "input.wav").string();
        cmd.output = (dir / "output.wav").string();
        cmd.pluginPath = plugin;
        cmd.blockSize = kBlock;
        cmd.quiet = true;

        // Two cases: a new output file each time, and replacing the output
        // of the run before, where the file system may flush the new file
        // when the rename replaces the old one.
        std::vector<RenderStats> fresh, replacing;
        for (int run = 0; run < kRuns; ++run) {
            std::string name = "fresh-";
            name += std::to_string(run);
            name += ".wav";
            cmd.output = (dir / name).string();
            fresh.push_back(render(cmd));
            fs::remove(cmd.output);
        }
        cmd.output = (dir / "output.wav").string();
        for (int run = 0; run <= kRuns; ++run) {
            const RenderStats stats = render(cmd);
            if (run > 0) replacing.push_back(stats);  // the first run replaces nothing
        }
        double alone = 1e30;
        for (int run = 0; run < kRuns; ++run) {
            alone = std::min(alone, effectAlone(plugin, modulator, carrier));
        }
        fs::remove_all(dir);

        std::printf("plug-in            %s\n", plugin.c_str());
        std::printf("audio              %.0f s, stereo, %d Hz, float WAV, blocks of %d, %d runs each\n",
                    seconds, kRate, kBlock, kRuns);
        const double freshShare = report("new output", fresh);
        const double worst = std::max(freshShare, report("replacing output", replacing));
        std::printf("effect alone       %6.3f s (best run, same audio from memory)\n", alone);
        std::printf("host overhead %s the 10 %% budget\n", worst <= 10.0 ? "within" : "OVER");
        return 0;
    } catch (const HostError& e) {
        std::fprintf(stderr, "halvorine_bench_host_overhead: %s\n", e.what());
        return 1;
    }
}
