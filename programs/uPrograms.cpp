// The program bank: APluginProgram and the program operations of APlugin.
#include "APluginProgram.h"

#include <array>

#include "DVstUtils.h"
#include "uPlugin.h"

using halvorine::dsp::SpectralRingModulator;

APluginProgram::APluginProgram() {
    for (auto& v : fvar) v.store(0.0f, std::memory_order_relaxed);
    setName("Init");
}

void APluginProgram::setName(const char* text) {
    const std::lock_guard<std::mutex> hold(nameLock);
    copyTextBounded(name, text, kNameChars);
}

void APluginProgram::copyName(char* dest, std::size_t maxChars) const {
    const std::lock_guard<std::mutex> hold(nameLock);
    copyTextBounded(dest, name, maxChars);
}

namespace {
// Hosts size their program-name buffers at 24 bytes: what goes out is cut
// to fit, the stored name keeps its 60 characters.
constexpr std::size_t kHostNameChars = 23;
}  // namespace

void APlugin::setProgram(VstInt32 program) {
    getTimeInfo(0);  // asked on every call; the answer is not used
    if (program < 0 || program >= kNumPrograms) return;
    curProgram.store(program, std::memory_order_relaxed);
    // Applied even when already current: every value is clamped and written
    // back into this program (never into whichever is current by then),
    // and the engine takes all eleven at once.
    APluginProgram& p = *programs[program];
    std::array<float, kNumSlots> values;
    for (VstInt32 slot = 0; slot < kNumSlots; ++slot) {
        values[static_cast<std::size_t>(slot)] = SpectralRingModulator::clampValue(p.value(slot));
        p.setValue(slot, values[static_cast<std::size_t>(slot)]);
    }
    engine.setParameters(values);
    notifyEditor();
}

void APlugin::setProgramName(char* name) {
    programs[curProgram.load(std::memory_order_relaxed)]->setName(name);
    notifyEditor();
}

void APlugin::getProgramName(char* name) {
    programs[curProgram.load(std::memory_order_relaxed)]->copyName(name, kHostNameChars);
}

bool APlugin::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms) return false;
    programs[index]->copyName(text, kHostNameChars);
    return true;
}
