// The info command: what a host sees when it loads the plug-in.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"

namespace halvorine::host {

void printInfo(const InfoCommand& cmd, std::FILE* out);

// The plug-in's program names, for the help; empty when it cannot be loaded.
std::vector<std::string> programNamesOf(const std::string& pluginPath) noexcept;

}  // namespace halvorine::host
