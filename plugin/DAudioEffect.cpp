#include "DAudioEffect.h"

#include <cstring>

#include "DVstUtils.h"

namespace {

AudioEffect* objectOf(AEffect* e) { return static_cast<AudioEffect*>(e->object); }

VstIntPtr VSTCALLBACK dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt) {
    AudioEffect* effect = objectOf(e);
    if (opcode == effClose) {
        effect->dispatcher(opcode, index, value, ptr, opt);
        delete effect;  // the record ends with the object
        return 1;
    }
    return effect->dispatcher(opcode, index, value, ptr, opt);
}

void VSTCALLBACK processClass(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    objectOf(e)->process(inputs, outputs, frames);
}

void VSTCALLBACK processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                       VstInt32 frames) {
    objectOf(e)->processReplacing(inputs, outputs, frames);
}

void VSTCALLBACK setParameterClass(AEffect* e, VstInt32 index, float value) {
    objectOf(e)->setParameter(index, value);
}

float VSTCALLBACK getParameterClass(AEffect* e, VstInt32 index) {
    return objectOf(e)->getParameter(index);
}

}  // namespace

// ---------------------------------------------------------------- AEffEditor

AEffEditor::AEffEditor(AudioEffect* owner) : effect(owner) {}
AEffEditor::~AEffEditor() = default;

VstInt32 AEffEditor::getRect(void**) { return 0; }

VstInt32 AEffEditor::open(void* ptr) {
    systemWindow = ptr;
    return 0;
}

void AEffEditor::close() {}

void AEffEditor::idle() {
    if (updateFlag != 0) {
        updateFlag = 0;
        update();
    }
}

void AEffEditor::update() {}
void AEffEditor::postUpdate() { updateFlag = 1; }
VstInt32 AEffEditor::onKeyDown(VstKeyCode&) { return -1; }
VstInt32 AEffEditor::onKeyUp(VstKeyCode&) { return -1; }
bool AEffEditor::setKnobMode(VstInt32) { return false; }
bool AEffEditor::onWheel(float) { return false; }

// --------------------------------------------------------------- AudioEffect

AudioEffect::AudioEffect(audioMasterCallback master, VstInt32 programs, VstInt32 params)
    : numPrograms(programs), numParams(params), audioMaster(master) {
    std::memset(&cEffect, 0, sizeof cEffect);
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.user = nullptr;
    cEffect.uniqueID = FourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
}

AudioEffect::~AudioEffect() {
    delete editor;
    editor = nullptr;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setFlag(VstInt32 bit, bool state) {
    if (state)
        cEffect.flags |= bit;
    else
        cEffect.flags &= ~bit;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setSampleRate(float rate) { sampleRate = rate; }
void AudioEffect::setBlockSize(VstInt32 size) { blockSize = size; }
void AudioEffect::setParameter(VstInt32, float) {}
float AudioEffect::getParameter(VstInt32) { return 0.0f; }

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::processReplacing(float**, float**, VstInt32) {}
void AudioEffect::open() {}
void AudioEffect::close() {}
VstInt32 AudioEffect::getProgram() { return curProgram.load(std::memory_order_relaxed); }
void AudioEffect::setProgram(VstInt32 program) {
    curProgram.store(program, std::memory_order_relaxed);
}
void AudioEffect::setProgramName(char*) {}
void AudioEffect::getProgramName(char*) {}
void AudioEffect::getParameterLabel(VstInt32, char*) {}
void AudioEffect::getParameterDisplay(VstInt32, char*) {}
void AudioEffect::getParameterName(VstInt32, char*) {}
float AudioEffect::getVu() { return 0.0f; }
VstInt32 AudioEffect::getChunk(void**, bool) { return 0; }
VstInt32 AudioEffect::setChunk(void*, VstInt32, bool) { return 0; }
void AudioEffect::suspend() {}
void AudioEffect::resume() {}

void AudioEffect::setUniqueID(VstInt32 code) { cEffect.uniqueID = code; }
void AudioEffect::setNumInputs(VstInt32 count) { cEffect.numInputs = count; }
void AudioEffect::setNumOutputs(VstInt32 count) { cEffect.numOutputs = count; }
void AudioEffect::hasVu(bool state) { setFlag(effFlagsHasVu, state); }
void AudioEffect::hasClip(bool state) { setFlag(effFlagsHasClip, state); }
void AudioEffect::canMono(bool state) { setFlag(effFlagsCanMono, state); }
void AudioEffect::canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
void AudioEffect::programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
void AudioEffect::setRealtimeQualities(VstInt32 q) { cEffect.realQualities = q; }
void AudioEffect::setOfflineQualities(VstInt32 q) { cEffect.offQualities = q; }
void AudioEffect::setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

VstInt32 AudioEffect::getMasterVersion() {
    if (!audioMaster) return 1;
    const auto version = static_cast<VstInt32>(callHost(audioMasterVersion, 0, 0, nullptr, 0.0f));
    return version == 0 ? 1 : version;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId, 0, 0, nullptr, 0.0f));
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle, 0, 0, nullptr, 0.0f); }

bool AudioEffect::isInputConnected(VstInt32 input) {
    if (!audioMaster) return true;
    return callHost(audioMasterPinConnected, input, 0, nullptr, 0.0f) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    if (!audioMaster) return true;
    return callHost(audioMasterPinConnected, output, 1, nullptr, 0.0f) == 0;
}

// The core dispatcher: opcodes 0..24. Opcodes are compared unsigned, so a
// negative opcode falls through to the default answer 0.
VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    switch (static_cast<std::uint32_t>(opcode)) {
        case effOpen: open(); break;
        case effClose: close(); break;
        case effSetProgram:
            // A 64-bit value below the 32-bit range stays negative rather
            // than wrapping onto a program.
            if (value < numPrograms)
                setProgram(value < INT32_MIN ? INT32_MIN : static_cast<VstInt32>(value));
            break;
        case effGetProgram: return getProgram();
        case effSetProgramName: setProgramName(static_cast<char*>(ptr)); break;
        case effGetProgramName: getProgramName(static_cast<char*>(ptr)); break;
        case effGetParamLabel: getParameterLabel(index, static_cast<char*>(ptr)); break;
        case effGetParamDisplay: getParameterDisplay(index, static_cast<char*>(ptr)); break;
        case effGetParamName: getParameterName(index, static_cast<char*>(ptr)); break;
        case effGetVu: return roundHalfEven(static_cast<double>(getVu()) * 32767.0);
        case effSetSampleRate: setSampleRate(opt); break;
        case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); break;
        case effMainsChanged:
            if (value == 0)
                suspend();
            else
                resume();
            break;
        case effEditGetRect: return editor ? editor->getRect(static_cast<void**>(ptr)) : 0;
        case effEditOpen: return editor ? editor->open(ptr) : 0;
        case effEditClose:
            if (editor) editor->close();
            break;
        case effEditIdle:
            if (editor) editor->idle();
            break;
        case effIdentify: return FourCharCode('N', 'v', 'E', 'f');
        case effGetChunk: return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk:
            return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
        default: break;
    }
    return 0;
}
