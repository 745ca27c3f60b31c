// The render command: files in, plug-in, file out.
#pragma once

#include <cstdint>
#include <string>

#include "cli.h"

namespace halvorine::host {

struct RenderStats {
    std::int64_t frames = 0;
    int sampleRate = 0;
    double totalSeconds = 0.0;   // the whole command, loading included
    double effectSeconds = 0.0;  // inside the effect's process calls
};

// Renders as `cmd` says and returns what it took. Informational lines go
// to stderr unless cmd.quiet; failures are thrown as HostError.
RenderStats render(const RenderCommand& cmd);

// Finds a parameter by index ("7") or by name in any letter case. Throws a
// HostError listing the valid names when nothing matches.
int resolveParameter(const std::string& name, const std::vector<std::string>& names);

}  // namespace halvorine::host
