// The render command: files in, plug-in, file out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli.h"

namespace halvorine::host {

struct RenderStats {
    std::int64_t frames = 0;
    int sampleRate = 0;
    SampleFormat format = SampleFormat::float32;  // as written
    float peak = 0.0f;                            // largest magnitude written
    std::int64_t clipped = 0;  // samples beyond full scale in an integer format
    double totalSeconds = 0.0;   // the whole command, loading included
    double effectSeconds = 0.0;  // inside the effect's process calls
};

// Renders as `cmd` says and returns what it took. Informational lines go
// to stderr unless cmd.quiet; failures are thrown as HostError.
RenderStats render(const RenderCommand& cmd);

// Finds a parameter by index ("7") or by name in any letter case. Throws a
// usage error listing the valid names when nothing matches.
int resolveParameter(const std::string& name, const std::vector<std::string>& names);

// Finds a program by number ("3") or by name in any letter case. Throws a
// usage error listing the programs when nothing matches.
int resolveProgram(const std::string& text, const std::vector<std::string>& names);

// "-1.8 dBFS", "-inf dBFS".
std::string peakText(float peak);

}  // namespace halvorine::host
