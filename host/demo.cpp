#include "demo.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "audio_io.h"
#include "effect.h"
#include "error.h"
#include "render.h"
#include "synth.h"

extern char** environ;

namespace fs = std::filesystem;

namespace halvorine::host {

namespace {

constexpr int kDemoRate = 44100;
constexpr double kDemoSeconds = 6.0;

void writeMono(const std::string& path, const std::vector<float>& samples) {
    OutputFile file(path, 1, kDemoRate, outputType(path, SampleFormat::float32));
    file.write(samples.data(), samples.size());
    file.commit();
}

// Runs sox to draw the three signals one above the other on one time axis.
// Returns an empty string on success, otherwise why there is no picture.
std::string drawSpectrogram(const fs::path& dir, const fs::path& picture) {
    const std::vector<std::string> args = {
        "sox", "-V1", "-M", (dir / "modulator.wav").string(), (dir / "carrier.wav").string(),
        (dir / "halvorine.wav").string(), "-n", "remix", "1", "2", "3", "spectrogram",
        "-x", "900", "-y", "257", "-z", "100",
        "-t", "Halvorine demo: modulator (top), carrier (middle), halvorine.wav (bottom)",
        "-o", picture.string()};
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "sox", nullptr, nullptr, argv.data(), environ);
    if (spawned == ENOENT) return "sox is not installed (apt-get install sox)";
    if (spawned != 0) return std::string("cannot run sox: ") + std::strerror(spawned);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return "lost track of sox";
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "sox failed";
    return {};
}

}  // namespace

void runDemo(const DemoCommand& cmd) {
    const std::string plugin = cmd.pluginPath.empty() ? defaultPluginPath() : cmd.pluginPath;
    std::error_code ec;
    if (!fs::exists(plugin, ec)) {
        fail("no plug-in at '" + plugin + "' (build the halvorine target, or pass --plugin PATH)");
    }
    const fs::path dir = cmd.outputDir;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) {
        fail("cannot make the folder '" + dir.string() + "': " + ec.message());
    }

    const fs::path modulator = dir / "modulator.wav";
    const fs::path carrier = dir / "carrier.wav";
    const fs::path result = dir / "halvorine.wav";
    const fs::path picture = dir / "spectrogram.png";
    writeMono(modulator.string(), synthModulator(kDemoRate, kDemoSeconds));
    writeMono(carrier.string(), synthCarrier(kDemoRate, kDemoSeconds));

    RenderCommand render;
    render.modulator = modulator.string();
    render.carrier = carrier.string();
    render.output = result.string();
    render.pluginPath = plugin;
    render.quiet = cmd.quiet;
    const RenderStats stats = halvorine::host::render(render);

    const std::string noPicture = drawSpectrogram(dir, picture);

    std::printf("halvorine-host demo: %.1f s at %d Hz through %s (default program)\n",
                static_cast<double>(stats.frames) / stats.sampleRate, stats.sampleRate,
                plugin.c_str());
    std::printf("  modulator    %s  (a sung phrase: pulse voice through moving formants)\n",
                modulator.string().c_str());
    std::printf("  carrier      %s  (detuned sawtooth chords: Am F C G)\n",
                carrier.string().c_str());
    std::printf("  output       %s  (stereo, peak %s)\n", result.string().c_str(),
                peakText(stats.peak).c_str());
    if (noPicture.empty()) {
        std::printf("  spectrogram  %s\n", picture.string().c_str());
    } else {
        std::printf("  spectrogram  none: %s\n", noPicture.c_str());
    }
}

}  // namespace halvorine::host
