// The info command: what a host sees when it loads the plug-in.
#pragma once

#include <cstdio>

#include "cli.h"

namespace halvorine::host {

void printInfo(const InfoCommand& cmd, std::FILE* out);

}  // namespace halvorine::host
