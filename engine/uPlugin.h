// The effect: `APlugin` binds the spectral ring modulator to the host
// interface, with its parameters, its eight programs and its identity.
#pragma once

#include <atomic>

#include "DAudioEffectX.h"
#include "effect_core.h"

class APlugin : public AudioEffectX {
public:
    static constexpr VstInt32 kNumPrograms = halvorine::EffectCore::kPrograms;
    static constexpr VstInt32 kNumParams = 10;
    static constexpr VstInt32 kNumSlots = halvorine::EffectCore::kSlots;

    explicit APlugin(audioMasterCallback audioMaster);
    ~APlugin() override;

    // Parameters.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    bool string2parameter(VstInt32 index, char* text) override;
    // The live value of any slot 0..10 (the editor mirrors all eleven).
    float slotValue(VstInt32 slot) const { return core.parameter(slot); }

    // Processing.
    void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    float getVu() override;
    void setSampleRate(float rate) override;
    void setBlockSizeAndSampleRate(VstInt32 size, float rate) override;

    // Programs.
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

    // Identity and VST 2 answers.
    VstInt32 processEvents(VstEvents* events) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;
    // Answers the hosts' scale call ('PreS', 'AeCs', the factor in opt).
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    void suspend() override;
    void resume() override;

    // Set by the editor binding: true once its window has been released.
    std::atomic<bool> editorClosed{false};

private:
    void notifyEditor();

    halvorine::EffectCore core;  // the engine and the eight programs
    float vuLevel = 0.0f;
};
