// The eight programs as presets stored in the plug-in itself, offered to a
// host's preset browser through the preset-discovery factory and loaded
// through the plug-in's preset-load extension with their number as the key.
#pragma once

#include "clap_abi.h"

namespace halvorine::clap {

inline constexpr int kPresets = 8;

const PresetDiscoveryFactory& presetDiscoveryFactory();

// The preset of a load key ("0".."7"); -1 for anything else.
int presetOfKey(const char* loadKey);

}  // namespace halvorine::clap
