// The eight programs and then the factory presets, all stored in the
// plug-in itself, offered to a host's preset browser as factory content
// through the preset-discovery factory and loaded through the plug-in's
// preset-load extension: a program by its number as the key ("0".."7"), a
// factory preset by its name after "factory:" ("factory:Band Vocoder").
#pragma once

#include "clap_abi.h"

namespace halvorine::clap {

inline constexpr int kPresets = 8;

const PresetDiscoveryFactory& presetDiscoveryFactory();

// The program of a load key ("0".."7"); -1 for anything else.
int presetOfKey(const char* loadKey);
// The factory preset of a load key; -1 for anything else.
int factoryPresetOfKey(const char* loadKey);

}  // namespace halvorine::clap
