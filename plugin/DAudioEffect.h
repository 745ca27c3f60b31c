// The core base class of every effect (`AudioEffect`) and the editor base
// class (`AEffEditor`).
//
// AudioEffect owns the AEffect record the host reads, answers the core
// opcodes 0..24 and sends the core host requests. Every operation is virtual
// with a harmless default, so an effect replaces only what it needs.
#pragma once

#include <atomic>

#include "DAEffectX.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect);
    virtual ~AEffEditor();

    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    virtual VstInt32 getRect(void** rect);
    virtual VstInt32 open(void* ptr);
    virtual void close();
    virtual void idle();
    virtual void update();
    virtual void postUpdate();
    virtual VstInt32 onKeyDown(VstKeyCode& keyCode);
    virtual VstInt32 onKeyUp(VstKeyCode& keyCode);
    virtual bool setKnobMode(VstInt32 mode);
    virtual bool onWheel(float distance);

protected:
    AudioEffect* effect;        // not owned
    void* systemWindow = nullptr;
    VstInt32 updateFlag = 0;
};

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    AEffect* getAeffect() { return &cEffect; }
    AEffEditor* getEditor() const { return editor; }
    // Installs (or, with null, removes) the editor; the effect owns it.
    void setEditor(AEffEditor* newEditor);

    virtual void setSampleRate(float rate);
    virtual void setBlockSize(VstInt32 size);
    virtual void setParameter(VstInt32 index, float value);
    virtual float getParameter(VstInt32 index);
    virtual void setParameterAutomated(VstInt32 index, float value);
    virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames);
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);
    virtual void open();
    virtual void close();
    virtual VstInt32 getProgram();
    virtual void setProgram(VstInt32 program);
    virtual void setProgramName(char* name);
    virtual void getProgramName(char* name);
    virtual void getParameterLabel(VstInt32 index, char* label);
    virtual void getParameterDisplay(VstInt32 index, char* text);
    virtual void getParameterName(VstInt32 index, char* text);
    virtual float getVu();
    virtual VstInt32 getChunk(void** data, bool isPreset);
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset);
    virtual void suspend();
    virtual void resume();

    // Record setters: each writes one field of the record and nothing else.
    virtual void setUniqueID(VstInt32 code);
    virtual void setNumInputs(VstInt32 count);
    virtual void setNumOutputs(VstInt32 count);
    virtual void hasVu(bool state);
    virtual void hasClip(bool state);
    virtual void canMono(bool state);
    virtual void canProcessReplacing(bool state);
    virtual void programsAreChunks(bool state);
    virtual void setRealtimeQualities(VstInt32 qualities);
    virtual void setOfflineQualities(VstInt32 qualities);
    virtual void setInitialDelay(VstInt32 delay);

    // Core host requests.
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

    float getSampleRate() const { return sampleRate; }
    VstInt32 getBlockSize() const { return blockSize; }

protected:
    // Calls the host, or answers 0 without a host callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    void setFlag(VstInt32 bit, bool state);

    AEffect cEffect;
    float sampleRate = 44100.0f;
    AEffEditor* editor = nullptr;
    VstInt32 numPrograms;
    VstInt32 numParams;
    // Programs may be switched on one thread while parameters are set on
    // another, and every parameter change reads the current program.
    std::atomic<VstInt32> curProgram{0};
    VstInt32 blockSize = 1024;
    audioMasterCallback audioMaster;
};

// Made by the effect's own module: the effect instance that `main` returns.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
