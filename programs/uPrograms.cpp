// The program operations of APlugin, on the effect core's bank.
#include "uPlugin.h"

namespace {
// Hosts size their program-name buffers at 24 bytes: what goes out is cut
// to fit, the stored name keeps its 60 characters.
constexpr std::size_t kHostNameChars = 23;
}  // namespace

void APlugin::setProgram(VstInt32 program) {
    getTimeInfo(0);  // asked on every call; the answer is not used
    if (program < 0 || program >= kNumPrograms) return;
    curProgram.store(program, std::memory_order_relaxed);
    core.setProgram(program);
    notifyEditor();
}

void APlugin::setProgramName(char* name) {
    core.setProgramName(core.program(), name);
    notifyEditor();
}

void APlugin::getProgramName(char* name) {
    core.copyProgramName(core.program(), name, kHostNameChars);
}

bool APlugin::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms) return false;
    core.copyProgramName(index, text, kHostNameChars);
    return true;
}
