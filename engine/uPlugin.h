// The effect: `APlugin` binds the spectral ring modulator to the host
// interface, with its parameters, its eight programs and its identity.
#pragma once

#include <atomic>
#include <memory>

#include "DAudioEffectX.h"
#include "dsp/ring_modulator.h"

class APluginProgram;

class APlugin : public AudioEffectX {
public:
    static constexpr VstInt32 kNumPrograms = 8;
    static constexpr VstInt32 kNumParams = 10;
    static constexpr VstInt32 kNumSlots = halvorine::dsp::SpectralRingModulator::kSlots;

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
    float slotValue(VstInt32 slot) const { return engine.parameter(slot); }

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
    const APluginProgram& program(VstInt32 index) const { return *programs[index]; }

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
    void initPrograms();
    void notifyEditor();

    halvorine::dsp::SpectralRingModulator engine;
    std::unique_ptr<APluginProgram> programs[kNumPrograms];
    float vuLevel = 0.0f;
};
