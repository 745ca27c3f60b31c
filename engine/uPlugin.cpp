#include "uPlugin.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "APluginEditor.h"
#include "APluginProgram.h"
#include "DVstUtils.h"
#include "parameter_text.h"

using halvorine::dsp::SpectralRingModulator;

namespace {

// Names the host sees for slots 0..8; slot 9 has none and slot 10 is
// internal.
constexpr const char* kParameterNames[] = {
    "Mod Start Freq", "Mod Finish Freq", "Mod Freq Q",
    "Carr Start Freq", "Carr Finish Freq", "Carr Freq Q",
    "Shift", "Mix", "Boost",
};
constexpr int kNamedParameters = sizeof kParameterNames / sizeof kParameterNames[0];

// Every program starts with these values, slots 0..10.
constexpr float kInitialValues[APlugin::kNumSlots] = {
    0.0f, 1.0f, 0.5f,  // modulator start, finish, width
    0.0f, 1.0f, 0.5f,  // carrier start, finish, width
    0.5f, 0.5f, 0.75f, // shift, mix, boost
    0.0f, 0.0f,
};

constexpr const char* kEffectName = "Halvorine";
constexpr const char* kVendorName = "Brindlex";
constexpr const char* kCapabilities[] = {"receiveVstEvents", "receiveVstMidiEvent",
                                         "receiveVstTimeInfo"};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new (std::nothrow) APlugin(audioMaster);
}

APlugin::APlugin(audioMasterCallback master)
    : AudioEffectX(master, kNumPrograms, kNumParams) {
    for (int i = kNumPrograms - 1; i >= 0; --i) programs[i] = std::make_unique<APluginProgram>();
    suspend();
    if (APluginEditor::available()) setEditor(new APluginEditor(this));

    hasVu(false);
    setNumInputs(2);
    setNumOutputs(2);
    canMono(true);
    canProcessReplacing(true);
    isSynth(false);
    setUniqueID(FourCharCode('z', 'Q', 'v', 'k'));

    engine.setDesignRate(static_cast<float>(updateSampleRate()));
    initPrograms();
    for (VstInt32 i = 0; i < kNumPrograms; ++i) setProgram(i);
}

APlugin::~APlugin() {
    // The editor goes first, then the programs in index order.
    delete editor;
    setEditor(nullptr);
    for (auto& p : programs) p.reset();
}

void APlugin::initPrograms() {
    for (int i = 0; i < kNumPrograms; ++i) {
        for (int slot = 0; slot < kNumSlots; ++slot) programs[i]->setValue(slot, kInitialValues[slot]);
        char name[APluginProgram::kNameChars + 1];
        std::snprintf(name, sizeof name, "Preset %d", i);
        programs[i]->setName(name);
    }
}

void APlugin::notifyEditor() {
    if (!editorClosed.load() && editor) editor->update();
}

// ---------------------------------------------------------------- parameters

void APlugin::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= kNumSlots) return;  // no slot there
    value = SpectralRingModulator::clampValue(value);
    engine.setParameter(index, value);
    programs[curProgram.load(std::memory_order_relaxed)]->setValue(index, value);
    if (editor) editor->update();
}

float APlugin::getParameter(VstInt32 index) {
    if (index < 0 || index >= kNumParams) return 0.0f;
    return engine.parameter(index);
}

void APlugin::getParameterName(VstInt32 index, char* text) {
    if (index >= 0 && index < kNamedParameters) copyText(text, kParameterNames[index]);
}

void APlugin::getParameterLabel(VstInt32, char* label) { copyText(label, ""); }

// The readout's value text, at most 8 characters: hosts size these buffers
// for that.
void APlugin::getParameterDisplay(VstInt32 index, char* text) {
    if (!text) return;
    const float v = index >= 0 && index < kNumParams ? engine.parameter(index) : 0.0f;
    copyTextBounded(text, halvorine::engine::valueText(index, v).c_str(),
                    halvorine::engine::kValueTextChars);
}

// A value text in the parameter's unit, set as the host's setter would.
bool APlugin::string2parameter(VstInt32 index, char* text) {
    float value = 0.0f;
    if (index < 0 || index >= kNumParams ||
        !halvorine::engine::parseValueText(index, text, value))
        return false;
    setParameter(index, value);
    return true;
}

// ---------------------------------------------------------------- processing

void APlugin::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
    engine.process(inputs, outputs, sampleFrames, true);
}

void APlugin::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    engine.process(inputs, outputs, sampleFrames, false);
}

float APlugin::getVu() {
    const float level = vuLevel;
    vuLevel = 0.0f;
    return level;
}

void APlugin::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    engine.setDesignRate(rate);
}

void APlugin::setBlockSizeAndSampleRate(VstInt32 size, float rate) {
    AudioEffectX::setBlockSizeAndSampleRate(size, rate);
    engine.setDesignRate(rate);
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
    copyText(name, kEffectName);
    return true;
}

bool APlugin::getVendorString(char* text) {
    copyText(text, kVendorName);
    return true;
}

bool APlugin::getProductString(char* text) {
    copyText(text, kEffectName);
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
