// The library's single export, `main`: probes the host and builds one
// effect instance. Nothing is thrown across this boundary.
#include "DAudioEffect.h"

namespace {

AEffect* createPlugin(audioMasterCallback audioMaster) noexcept {
    if (!audioMaster) return nullptr;
    try {
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        AudioEffect* effect = createEffectInstance(audioMaster);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

#if defined(_WIN32)
// Exported as `main` by the module-definition file.
extern "C" AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
    return createPlugin(audioMaster);
}
#else
// A C++ function cannot be called `main`, so the symbol is named directly.
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(
    audioMasterCallback audioMaster) __asm__("main");
extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    return createPlugin(audioMaster);
}
#endif
