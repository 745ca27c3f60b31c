#include "factory_presets.h"

#include <array>

namespace halvorine {
namespace {

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::array<FactoryPreset, kFactoryPresetCount> read() {
    std::array<FactoryPreset, kFactoryPresetCount> presets{};
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        const FactoryPresetText& text = kFactoryPresetTexts[i];
        FactoryPreset& p = presets[static_cast<std::size_t>(i)];
        p.name = text.name;
        p.about = text.about;
        for (int slot = 0; slot < engine::kAllSlots; ++slot) {
            p.values[slot] = engine::parameterInfo(slot).defaultValue;
            // The build has read every text already (the generator of the
            // preset files, and the tests); a text that still failed here
            // would leave the default.
            if (text.texts[slot]) engine::parseValueText(slot, text.texts[slot], p.values[slot]);
        }
    }
    return presets;
}

}  // namespace

const FactoryPreset* factoryPresets() {
    static const std::array<FactoryPreset, kFactoryPresetCount> presets = read();
    return presets.data();
}

bool playsSynth(const FactoryPreset& preset) {
    return engine::stepIndex(engine::kCarrierSlot, preset.values[engine::kCarrierSlot]) == 1;
}

int findFactoryPreset(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        const char* a = kFactoryPresetTexts[i].name;
        const char* b = name;
        while (*a && folded(*a) == folded(*b)) ++a, ++b;
        if (!*a && !*b) return i;
    }
    return -1;
}

}  // namespace halvorine
