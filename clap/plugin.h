// The Halvorine CLAP plug-in: its descriptor and the making of an instance.
#pragma once

#include "clap_abi.h"

namespace halvorine::clap {

inline constexpr const char kPluginId[] = "brindlex.halvorine";

const PluginDescriptor& descriptor();

// A new instance for `host`, not yet initialised; null when out of memory.
const Plugin* makePlugin(const Host* host) noexcept;

}  // namespace halvorine::clap
