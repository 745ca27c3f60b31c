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

// One preset as the file gives it, by slot; `line` and `valueLines` point
// into the file for messages. Slots 0..8 always have a text; 9 and 10 never
// do, and the synth's 11..18 only where the file sets them (null otherwise:
// the default).
struct FactoryPresetText {
    const char* name;
    const char* about;
    int line;
    const char* texts[engine::kAllSlots];
    int valueLines[engine::kAllSlots];
};

extern const FactoryPresetText kFactoryPresetTexts[kFactoryPresetCount];

struct FactoryPreset {
    const char* name;
    const char* about;
    float values[engine::kAllSlots];  // normalised; slots 9, 10 and synth slots unset at their defaults
};

// The preset plays the built-in synth as its carrier (Carrier on Synth):
// it means nothing where there is no synth, so the VST 2 files leave it out.
bool playsSynth(const FactoryPreset& preset);

// All the presets, in the file's order. Read once, on the first call: make
// that from a host's main thread (construction does), never first from the
// audio thread.
const FactoryPreset* factoryPresets();

// The preset of a name in any letter case; -1 for none.
int findFactoryPreset(const char* name);

}  // namespace halvorine
