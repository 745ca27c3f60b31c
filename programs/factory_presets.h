// The factory presets: the sounds that come beside the eight programs, written
// once in factory_presets.txt and turned into the table below at build
// time (cmake/FactoryPresets.cmake). Each value is kept as the text the
// file gives, and read at start-up the way a host's typed text is read
// (engine::parseValueText), so every format and every target plays the
// same values. Loading one sets the current program's values and name; the
// presets themselves never change.
#pragma once

#include <cstddef>

#include "factory_preset_count.h"
#include "parameter_table.h"

namespace halvorine {

// One preset as the file gives it; `line` and `valueLines` point into the
// file for messages.
struct FactoryPresetText {
    const char* name;
    const char* about;
    int line;
    const char* texts[engine::kNamedParameters];
    int valueLines[engine::kNamedParameters];
};

extern const FactoryPresetText kFactoryPresetTexts[kFactoryPresetCount];

struct FactoryPreset {
    const char* name;
    const char* about;
    float values[engine::kAllSlots];  // normalised; slots 9, 10 and the synth's at their defaults
};

// All the presets, in the file's order. Read once, on the first call: make
// that from a host's main thread (construction does), never first from the
// audio thread.
const FactoryPreset* factoryPresets();

// The preset of a name in any letter case; -1 for none.
int findFactoryPreset(const char* name);

}  // namespace halvorine
