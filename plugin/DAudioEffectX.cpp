#include "DAudioEffectX.h"

#include "DVstUtils.h"

AudioEffectX::AudioEffectX(audioMasterCallback master, VstInt32 programs, VstInt32 params)
    : AudioEffect(master, programs, params) {}

AudioEffectX::~AudioEffectX() = default;

namespace {
VstIntPtr truth(bool b) { return b ? 1 : 0; }
}  // namespace

// Opcodes 25..68; every other opcode goes to the core dispatcher.
VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effProcessEvents: return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated: return truth(canParameterBeAutomated(index));
        case effString2Parameter: return truth(string2parameter(index, text));
        case effGetNumProgramCategories: return getNumCategories();
        case effGetProgramNameIndexed:
            return truth(getProgramNameIndexed(static_cast<VstInt32>(value), index, text));
        case effCopyProgram: return truth(copyProgram(index));
        case effConnectInput: inputConnected(index, value != 0); return 1;
        case effConnectOutput: outputConnected(index, value != 0); return 1;
        case effGetInputProperties:
            return truth(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
        case effGetOutputProperties:
            return truth(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
        case effGetPlugCategory: return getPlugCategory();
        case effGetCurrentPosition: return reportCurrentPosition();
        case effGetDestinationBuffer:
            return reinterpret_cast<VstIntPtr>(reportDestinationBuffer());
        case effOfflineNotify:
            return truth(offlineNotify(static_cast<VstAudioFile*>(ptr),
                                       static_cast<VstInt32>(value), index != 0));
        case effOfflinePrepare:
            return truth(
                offlinePrepare(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)));
        case effOfflineRun:
            return truth(
                offlineRun(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)));
        case effProcessVarIo: return truth(processVariableIo(static_cast<VstVariableIo*>(ptr)));
        case effSetSpeakerArrangement:
            return truth(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                               static_cast<VstSpeakerArrangement*>(ptr)));
        case effSetBlockSizeAndSampleRate:
            setBlockSizeAndSampleRate(static_cast<VstInt32>(value), opt);
            return 1;
        case effSetBypass: return truth(setBypass(value != 0));
        case effGetEffectName: return truth(getEffectName(text));
        case effGetErrorText: return truth(getErrorText(text));
        case effGetVendorString: return truth(getVendorString(text));
        case effGetProductString: return truth(getProductString(text));
        case effGetVendorVersion: return getVendorVersion();
        case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
        case effCanDo: return canDo(text);
        case effGetTailSize: return getGetTailSize();
        case effIdle: return fxIdle();
        case effGetIcon: return reinterpret_cast<VstIntPtr>(getIcon());
        case effSetViewPosition:
            return truth(setViewPosition(index, static_cast<VstInt32>(value)));
        case effGetParameterProperties:
            return truth(
                getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)));
        case effKeysRequired: return keysRequired() ? 0 : 1;
        case effGetVstVersion: return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: {
            if (!editor) return 0;
            VstKeyCode key{};
            key.character = index;
            key.virt = static_cast<unsigned char>(value & 0xFF);
            key.modifier = static_cast<unsigned char>(roundHalfEven(opt) & 0xFF);
            return opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
        }
        case effSetEditKnobMode:
            return editor ? truth(editor->setKnobMode(static_cast<VstInt32>(value))) : 0;
        case effGetMidiProgramName:
            return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
        case effGetCurrentMidiProgram:
            return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
        case effGetMidiProgramCategory:
            return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
        case effHasMidiProgramsChanged: return truth(hasMidiProgramsChanged(index));
        case effGetMidiKeyName:
            return truth(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
        case effBeginSetProgram: return truth(beginSetProgram());
        case effEndSetProgram: return truth(endSetProgram());
        default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

// ---- Requests to the host. Without a host callback each answers 0.

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter, nullptr, 0.0f));
}
VstInt32 AudioEffectX::tempoAt(VstInt32 pos) { return askHostInt(audioMasterTempoAt, 0, pos); }
VstInt32 AudioEffectX::getNumAutomatableParameters() {
    return askHostInt(audioMasterGetNumAutomatableParameters);
}
VstInt32 AudioEffectX::getParameterQuantization() {
    return askHostInt(audioMasterGetParameterQuantization);
}
bool AudioEffectX::ioChanged() { return askHost(audioMasterIOChanged); }
bool AudioEffectX::needIdle() { return askHost(audioMasterNeedIdle); }
bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return askHost(audioMasterSizeWindow, width, height);
}
double AudioEffectX::updateSampleRate() {
    callHost(audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
    return sampleRate;  // the host may have set it while answering
}
VstInt32 AudioEffectX::updateBlockSize() {
    callHost(audioMasterGetBlockSize, 0, 0, nullptr, 0.0f);
    return blockSize;
}
VstInt32 AudioEffectX::getInputLatency() { return askHostInt(audioMasterGetInputLatency); }
VstInt32 AudioEffectX::getOutputLatency() { return askHostInt(audioMasterGetOutputLatency); }
AEffect* AudioEffectX::getPreviousPlug(VstInt32 input) {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug, input, 0, nullptr, 0));
}
AEffect* AudioEffectX::getNextPlug(VstInt32 output) {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug, output, 0, nullptr, 0));
}
VstInt32 AudioEffectX::willProcessReplacing() {
    return askHostInt(audioMasterWillReplaceOrAccumulate);
}
VstInt32 AudioEffectX::getCurrentProcessLevel() {
    return askHostInt(audioMasterGetCurrentProcessLevel);
}
VstInt32 AudioEffectX::getAutomationState() { return askHostInt(audioMasterGetAutomationState); }
bool AudioEffectX::offlineStart(VstAudioFile* audioFiles, VstInt32 numAudioFiles,
                                VstInt32 numNewAudioFiles) {
    return askHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles);
}
bool AudioEffectX::offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource) {
    return askHost(audioMasterOfflineRead, option, readSource ? 1 : 0, offline);
}
bool AudioEffectX::offlineWrite(VstOfflineTask* offline, VstInt32 option) {
    return askHost(audioMasterOfflineWrite, option, 0, offline);
}
VstInt32 AudioEffectX::offlineGetCurrentPass() {
    return askHostInt(audioMasterOfflineGetCurrentPass);
}
VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
    return askHostInt(audioMasterOfflineGetCurrentMetaPass);
}
void AudioEffectX::setOutputSamplerate(float rate) {
    callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}
bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                         VstSpeakerArrangement** pluginOutput) {
    return askHost(audioMasterGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(pluginInput),
                   pluginOutput);
}
bool AudioEffectX::getHostVendorString(char* text) {
    return askHost(audioMasterGetVendorString, 0, 0, text);
}
bool AudioEffectX::getHostProductString(char* text) {
    return askHost(audioMasterGetProductString, 0, 0, text);
}
VstInt32 AudioEffectX::getHostVendorVersion() { return askHostInt(audioMasterGetVendorVersion); }
VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg,
                                           float floatArg) {
    return callHost(audioMasterVendorSpecific, arg1, arg2, ptrArg, floatArg);
}
VstInt32 AudioEffectX::canHostDo(char* text) { return askHostInt(audioMasterCanDo, 0, 0, text); }
VstInt32 AudioEffectX::getHostLanguage() { return askHostInt(audioMasterGetLanguage); }
void* AudioEffectX::openWindow(VstWindow* window) {
    return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window, 0.0f));
}
bool AudioEffectX::closeWindow(VstWindow* window) {
    return askHost(audioMasterCloseWindow, 0, 0, window);
}
void* AudioEffectX::getDirectory() {
    return reinterpret_cast<void*>(callHost(audioMasterGetDirectory, 0, 0, nullptr, 0.0f));
}
bool AudioEffectX::updateDisplay() { return askHost(audioMasterUpdateDisplay); }
bool AudioEffectX::beginEdit(VstInt32 index) { return askHost(audioMasterBeginEdit, index); }
bool AudioEffectX::endEdit(VstInt32 index) { return askHost(audioMasterEndEdit, index); }
bool AudioEffectX::openFileSelector(VstFileSelect* selector) {
    return askHost(audioMasterOpenFileSelector, 0, 0, selector);
}
void AudioEffectX::wantEvents(VstInt32 filter) {
    callHost(audioMasterWantMidi, 0, filter, nullptr, 0.0f);
}

// ---- Descriptor flags owned by this layer.

void AudioEffectX::isSynth(bool state) { setFlag(effFlagsIsSynth, state); }
void AudioEffectX::noTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }
void AudioEffectX::wantAsyncOperation(bool state) { setFlag(effFlagsExtIsAsync, state); }
void AudioEffectX::hasExternalBuffer(bool state) { setFlag(effFlagsExtHasBuffer, state); }

// ---- Defaults for the operations an effect may replace.

VstInt32 AudioEffectX::processEvents(VstEvents*) { return 0; }
bool AudioEffectX::canParameterBeAutomated(VstInt32) { return true; }
bool AudioEffectX::string2parameter(VstInt32, char*) { return false; }
float AudioEffectX::getChannelParameter(VstInt32, VstInt32) { return 0.0f; }
VstInt32 AudioEffectX::getNumCategories() { return 1; }
bool AudioEffectX::getProgramNameIndexed(VstInt32, VstInt32, char*) { return false; }
bool AudioEffectX::copyProgram(VstInt32) { return false; }
void AudioEffectX::inputConnected(VstInt32, bool) {}
void AudioEffectX::outputConnected(VstInt32, bool) {}
bool AudioEffectX::getInputProperties(VstInt32, VstPinProperties*) { return false; }
bool AudioEffectX::getOutputProperties(VstInt32, VstPinProperties*) { return false; }
VstInt32 AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) != 0 ? 2 : 0;
}
VstInt32 AudioEffectX::reportCurrentPosition() { return 0; }
float* AudioEffectX::reportDestinationBuffer() { return nullptr; }
bool AudioEffectX::offlineNotify(VstAudioFile*, VstInt32, bool) { return false; }
bool AudioEffectX::offlinePrepare(VstOfflineTask*, VstInt32) { return false; }
bool AudioEffectX::offlineRun(VstOfflineTask*, VstInt32) { return false; }
VstInt32 AudioEffectX::offlineGetNumPasses() { return 0; }
VstInt32 AudioEffectX::offlineGetNumMetaPasses() { return 0; }
bool AudioEffectX::processVariableIo(VstVariableIo*) { return false; }
bool AudioEffectX::setSpeakerArrangement(VstSpeakerArrangement*, VstSpeakerArrangement*) {
    return false;
}
void AudioEffectX::setBlockSizeAndSampleRate(VstInt32 size, float rate) {
    blockSize = size;
    sampleRate = rate;
}
bool AudioEffectX::setBypass(bool) { return false; }
bool AudioEffectX::getEffectName(char*) { return false; }
bool AudioEffectX::getErrorText(char*) { return false; }
bool AudioEffectX::getVendorString(char*) { return false; }
bool AudioEffectX::getProductString(char*) { return false; }
VstInt32 AudioEffectX::getVendorVersion() { return 0; }
VstIntPtr AudioEffectX::vendorSpecific(VstInt32, VstIntPtr, void*, float) { return 0; }
VstInt32 AudioEffectX::canDo(char*) { return 0; }
void* AudioEffectX::getIcon() { return nullptr; }
bool AudioEffectX::setViewPosition(VstInt32, VstInt32) { return false; }
VstInt32 AudioEffectX::getGetTailSize() { return 0; }
VstInt32 AudioEffectX::fxIdle() { return 0; }
bool AudioEffectX::getParameterProperties(VstInt32, VstParameterProperties*) { return false; }
bool AudioEffectX::keysRequired() { return false; }
VstInt32 AudioEffectX::getVstVersion() { return 2200; }
VstInt32 AudioEffectX::getMidiProgramName(VstInt32, MidiProgramName*) { return 0; }
VstInt32 AudioEffectX::getCurrentMidiProgram(VstInt32, MidiProgramName*) { return -1; }
VstInt32 AudioEffectX::getMidiProgramCategory(VstInt32, MidiProgramCategory*) { return 0; }
bool AudioEffectX::hasMidiProgramsChanged(VstInt32) { return false; }
bool AudioEffectX::getMidiKeyName(VstInt32, MidiKeyName*) { return false; }
bool AudioEffectX::beginSetProgram() { return false; }
bool AudioEffectX::endSetProgram() { return false; }
