// Loading a VST 2 effect library and talking to its record, the way a host
// application does.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "DAEffectX.h"

namespace halvorine::host {

// What halvorine-host tells an effect that asks.
constexpr VstIntPtr kHostVstVersion = 2400;

// The answers to the effect's sample-rate and block-size requests. They
// are process-wide because the effect may ask while its entry point runs,
// before the host knows the record; set them before loading.
void setHostAudioSettings(float sampleRate, int blockSize);

// The host callback handed to the effect's entry point.
VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                       void* ptr, float opt) noexcept;

// The folder of the running executable's halvorine.so.
std::string defaultPluginPath();

// One loaded effect instance: the library, its record, and the
// conversation with it. The destructor switches the effect off, closes it
// and unloads the library, whatever state it was left in.
class Effect {
public:
    // Loads the library at `path`, calls its `main` and checks the record:
    // the magic, and at least `minInputs` inputs and `minOutputs` outputs.
    Effect(const std::string& path, int minInputs = 2, int minOutputs = 2);
    ~Effect();
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    const AEffect& record() const { return *effect_; }
    const std::string& path() const { return path_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);

    void open();
    void setSampleRate(float rate);
    void setBlockSize(int frames);
    void setProgram(int program);
    int currentProgram();
    void setProgramName(const std::string& name);  // of the current program
    void setParameter(int index, float value);
    float parameter(int index) const;
    // effString2Parameter: the effect reads `text` in the parameter's units
    // and sets it. False when it refuses the text (and changes nothing).
    bool setParameterText(int index, const std::string& text);
    // The display texts at the ends of a parameter's range, read by
    // setting 0 and 1 and restoring the value.
    std::pair<std::string, std::string> displayRange(int index);
    void switchOn();   // effMainsChanged 1
    void switchOff();  // effMainsChanged 0
    void close();      // effClose; the record is gone afterwards

    // processReplacing when the effect offers it, else process over
    // cleared outputs.
    void process(float** inputs, float** outputs, int frames);

    std::string parameterName(int index);
    std::string parameterLabel(int index);
    std::string parameterDisplay(int index);
    std::vector<std::string> parameterNames();
    std::string programName(int index);
    std::vector<std::string> programNames();
    std::string effectName();
    std::string vendorString();
    std::string productString();
    VstIntPtr vendorVersion();
    VstIntPtr vstVersion();
    VstIntPtr canDo(const char* capability);

private:
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);
    void unload() noexcept;

    std::string path_;
    void* library_ = nullptr;
    AEffect* effect_ = nullptr;
    bool on_ = false;
};

}  // namespace halvorine::host
