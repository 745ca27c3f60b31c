// The demo command: synthesised inputs, rendered through the plug-in.
#pragma once

#include "cli.h"

namespace halvorine::host {

void runDemo(const DemoCommand& cmd);

}  // namespace halvorine::host
