#include "uPlugin.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "APluginEditor.h"
#include "DVstUtils.h"
#include "product.h"
#include "parameter_table.h"

namespace table = halvorine::engine;

namespace {

constexpr const char* kCapabilities[] = {"receiveVstEvents", "receiveVstMidiEvent",
                                         "receiveVstTimeInfo"};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new (std::nothrow) APlugin(audioMaster);
}

APlugin::APlugin(audioMasterCallback master)
    : AudioEffectX(master, kNumPrograms, kNumParams) {
    suspend();
    if (APluginEditor::available()) setEditor(new APluginEditor(this));

    hasVu(false);
    setNumInputs(2);
    setNumOutputs(2);
    canMono(true);
    canProcessReplacing(true);
    isSynth(false);
    setUniqueID(halvorine::kVst2UniqueId);  // 'zQvk'

    core.setSampleRate(static_cast<float>(updateSampleRate()));
    for (VstInt32 i = 0; i < kNumPrograms; ++i) setProgram(i);
}

APlugin::~APlugin() {
    // The editor goes first, then the programs.
    delete editor;
    setEditor(nullptr);
}

void APlugin::notifyEditor() {
    if (!editorClosed.load() && editor) editor->update();
}

// ---------------------------------------------------------------- parameters

void APlugin::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= kNumSlots) return;  // no slot there
    core.setParameter(index, value);
    if (editor) editor->update();
}

float APlugin::getParameter(VstInt32 index) {
    if (index < 0 || index >= kNumParams) return 0.0f;
    return core.parameter(index);
}

void APlugin::getParameterName(VstInt32 index, char* text) {
    if (index >= 0 && index < table::kNamedParameters) copyText(text, table::parameterInfo(index).name);
}

void APlugin::getParameterLabel(VstInt32, char* label) { copyText(label, ""); }

// The readout's value text, at most 8 characters: hosts size these buffers
// for that. Some hosts ask on their audio thread: no allocation, no lock.
void APlugin::getParameterDisplay(VstInt32 index, char* text) {
    if (!text) return;
    const float v = index >= 0 && index < kNumParams ? core.parameter(index) : 0.0f;
    table::writeValueText(index, v, text, table::kValueTextChars + 1);
}

// A value text in the parameter's unit, set as the host's setter would.
bool APlugin::string2parameter(VstInt32 index, char* text) {
    float value = 0.0f;
    if (index < 0 || index >= kNumParams ||
        !table::parseValueText(index, text, value))
        return false;
    setParameter(index, value);
    return true;
}

// ---------------------------------------------------------------- processing

void APlugin::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
    core.process(inputs, outputs, sampleFrames, true);
}

void APlugin::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    core.process(inputs, outputs, sampleFrames, false);
}

float APlugin::getVu() {
    const float level = vuLevel;
    vuLevel = 0.0f;
    return level;
}

void APlugin::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    core.setSampleRate(rate);
}

void APlugin::setBlockSizeAndSampleRate(VstInt32 size, float rate) {
    AudioEffectX::setBlockSizeAndSampleRate(size, rate);
    core.setSampleRate(rate);
}

// ------------------------------------------------------ identity and VST 2

VstInt32 APlugin::processEvents(VstEvents*) { return 1; }

bool APlugin::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index >= 2) return false;
    std::snprintf(properties->label, sizeof properties->label, "Halvorine %d", index + 1);
    properties->flags = kVstPinIsActive;
    properties->flags += kVstPinIsStereo;
    return true;
}

bool APlugin::getEffectName(char* name) {
    copyText(name, halvorine::kProductName);
    return true;
}

bool APlugin::getVendorString(char* text) {
    copyText(text, halvorine::kVendorName);
    return true;
}

bool APlugin::getProductString(char* text) {
    copyText(text, halvorine::kProductName);
    return true;
}

VstInt32 APlugin::getVendorVersion() { return 1; }

VstInt32 APlugin::canDo(char* text) {
    for (const char* capability : kCapabilities)
        if (std::strcmp(text, capability) == 0) return 1;
    return -1;
}

VstIntPtr APlugin::vendorSpecific(VstInt32 index, VstIntPtr value, void*, float opt) {
    if (index != APluginEditor::kScaleCallIndex || value != APluginEditor::kScaleCallValue || !editor)
        return 0;
    static_cast<APluginEditor*>(editor)->setHostScale(opt);
    return 1;
}

void APlugin::suspend() {}

void APlugin::resume() { wantEvents(1); }
