// halvorine-host: a small command-line VST 2 host for the Halvorine plug-in.
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "cli.h"
#include "demo.h"
#include "error.h"
#include "info.h"
#include "render.h"

namespace {

using namespace halvorine::host;

int run(const Command& command) {
    return std::visit(
        [](const auto& cmd) -> int {
            using T = std::decay_t<decltype(cmd)>;
            if constexpr (std::is_same_v<T, HelpCommand>) {
                const bool listsPrograms = cmd.topic.empty() || cmd.topic == "render";
                std::fputs(helpText(cmd.topic, listsPrograms ? programNamesOf(cmd.pluginPath)
                                                             : std::vector<std::string>{})
                               .c_str(),
                           stdout);
            } else if constexpr (std::is_same_v<T, VersionCommand>) {
                std::fputs(versionText().c_str(), stdout);
            } else if constexpr (std::is_same_v<T, InfoCommand>) {
                printInfo(cmd, stdout);
            } else if constexpr (std::is_same_v<T, RenderCommand>) {
                const RenderStats stats = render(cmd);
                if (!cmd.quiet) {
                    std::printf("wrote %s: %lld frames, %.2f s at %d Hz, 2 channels, %s, peak %s\n",
                                cmd.output.c_str(), static_cast<long long>(stats.frames),
                                static_cast<double>(stats.frames) / stats.sampleRate,
                                stats.sampleRate, formatName(stats.format),
                                peakText(stats.peak).c_str());
                }
            } else {
                runDemo(cmd);
            }
            return kExitOk;
        },
        command);
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe (halvorine-host info | head) should end quietly.
    std::signal(SIGPIPE, SIG_DFL);
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const int status = run(parseCommandLine(args));
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "halvorine-host: cannot write to standard output\n");
            return kExitFailure;
        }
        return status;
    } catch (const HostError& e) {
        std::fprintf(stderr, "halvorine-host: %s\n", e.what());
        return e.status();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "halvorine-host: out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "halvorine-host: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "halvorine-host: unexpected failure\n");
    }
    return kExitFailure;
}
