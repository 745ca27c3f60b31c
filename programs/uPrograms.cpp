// The program bank: APluginProgram and the program operations of APlugin.
#include "APluginProgram.h"
#include "DVstUtils.h"
#include "uPlugin.h"

APluginProgram::APluginProgram() {
    for (auto& v : fvar) v.store(0.0f, std::memory_order_relaxed);
    setName("Init");
}

void APluginProgram::setName(const char* text) { copyTextBounded(name, text, kNameChars); }

void APlugin::setProgram(VstInt32 program) {
    getTimeInfo(0);  // asked on every call; the answer is not used
    if (program < 0 || program >= kNumPrograms) return;
    curProgram.store(program, std::memory_order_relaxed);
    const APluginProgram& p = *programs[program];
    // Applied even when already current: every value goes through
    // setParameter, which clamps it and writes it back into the program.
    for (VstInt32 slot = 0; slot < kNumSlots; ++slot) setParameter(slot, p.value(slot));
    notifyEditor();
}

void APlugin::setProgramName(char* name) {
    programs[curProgram.load(std::memory_order_relaxed)]->setName(name);
    notifyEditor();
}

void APlugin::getProgramName(char* name) {
    copyText(name, programs[curProgram.load(std::memory_order_relaxed)]->getName());
}

bool APlugin::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms) return false;
    copyText(text, programs[index]->getName());
    return true;
}
