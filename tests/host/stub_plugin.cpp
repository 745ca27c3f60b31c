// A stand-in effect for the host's tests: a tiny VST 2 effect that talks
// to the host the way a real one does, keeps a log of everything the host
// asks of it, and misbehaves on request.
//
// Environment:
//   HALVORINE_STUB_LOG=path     append one line per host call to `path`
//   HALVORINE_STUB_MODE=mode    normal (default), wrong-magic, one-input,
//                               one-output, refuse (main returns null),
//                               accumulate-only (no processReplacing),
//                               nan-output (each block's first output
//                               sample is not a number), crash-segv,
//                               crash-bus, crash-fpe, crash-ill, crash-abort
//                               (the signal on the second block)
//
// Audio: output 0 = input 0 x Level, output 1 = input 1 x Level.
// Parameters: 0 "Level" (1.0), 1 "Tone" with label "%" (0.5), 2 unnamed.
// Value texts, shown and read back (effString2Parameter): Level as a
// percentage ("50%"), Tone in Hz from 100 to 1000 ("550Hz", "550 Hz");
// the unnamed one has none.
// Programs: 0 "Unity" (Level 1), 1 "Half" (0.5), 2 "Quiet" (0.1); the
// effect starts on program 0.
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DAEffectX.h"
#include "DVstUtils.h"

namespace {

constexpr int kParams = 3;
constexpr int kPrograms = 3;
constexpr float kProgramLevel[kPrograms] = {1.0f, 0.5f, 0.1f};
constexpr const char* kProgramName[kPrograms] = {"Unity", "Half", "Quiet"};
constexpr const char* kParamName[kParams] = {"Level", "Tone", ""};

struct Stub {
    AEffect record{};
    audioMasterCallback host = nullptr;
    float params[kParams] = {1.0f, 0.5f, 0.0f};
    int program = 0;
    std::FILE* log = nullptr;
    int blocks = 0;
    int crash = 0;          // the signal to raise on the second block
    bool nanOutput = false;

    void note(const std::string& line) {
        if (log == nullptr) return;
        std::fprintf(log, "%s\n", line.c_str());
        std::fflush(log);
    }
};

Stub* self(AEffect* effect) { return static_cast<Stub*>(effect->object); }

std::string number(float value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(value));
    return buf;
}

VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                     void* ptr, float opt) {
    Stub* stub = self(effect);
    auto* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effOpen: stub->note("open"); return 0;
        case effClose:
            stub->note("close");
            if (stub->log != nullptr) std::fclose(stub->log);
            delete stub;
            return 1;
        case effSetSampleRate: stub->note("set-sample-rate " + number(opt)); return 0;
        case effSetBlockSize: stub->note("set-block-size " + std::to_string(value)); return 0;
        case effMainsChanged: stub->note("mains " + std::to_string(value)); return 0;
        case effSetProgram:
            stub->note("set-program " + std::to_string(value));
            if (value >= 0 && value < kPrograms) {
                stub->program = static_cast<int>(value);
                stub->params[0] = kProgramLevel[value];
            }
            return 0;
        case effGetProgram: return stub->program;
        case effSetProgramName: stub->note(std::string("set-program-name ") + text); return 0;
        case effGetProgramNameIndexed:
            if (index < 0 || index >= kPrograms) return 0;
            copyText(text, kProgramName[index]);
            return 1;
        case effGetParamName:
            if (index >= 0 && index < kParams) copyText(text, kParamName[index]);
            return 0;
        case effGetParamLabel: copyText(text, index == 1 ? "%" : ""); return 0;
        case effGetParamDisplay:
            if (index == 0) copyText(text, (number(stub->params[0] * 100.0f) + "%").c_str());
            if (index == 1) copyText(text, (number(100.0f + stub->params[1] * 900.0f) + "Hz").c_str());
            if (index == 2) copyText(text, "");
            return 0;
        case effString2Parameter: {
            stub->note("string-to-parameter " + std::to_string(index) + " " + text);
            char* end = nullptr;
            const double v = std::strtod(text, &end);
            if (end == text) return 0;
            while (*end == ' ') ++end;
            if (index == 0 && std::strcmp(end, "%") == 0 && v >= 0.0 && v <= 100.0) {
                stub->params[0] = static_cast<float>(v / 100.0);
                return 1;
            }
            if (index == 1 && std::strcmp(end, "Hz") == 0 && v >= 100.0 && v <= 1000.0) {
                stub->params[1] = static_cast<float>((v - 100.0) / 900.0);
                return 1;
            }
            return 0;
        }
        case effGetEffectName: copyText(text, "Stub"); return 1;
        case effGetVendorString: copyText(text, "Halvorine tests"); return 1;
        case effGetProductString: copyText(text, "Stub effect"); return 1;
        case effGetVendorVersion: return 3;
        case effGetVstVersion: return 2400;
        case effCanDo:
            if (std::strcmp(text, "receiveVstEvents") == 0) return 1;
            if (std::strcmp(text, "receiveVstMidiEvent") == 0) return -1;
            return 0;
        default: return 0;
    }
}

// The signal a crash-* mode raises, or 0.
int crashSignal(const std::string& mode) {
    if (mode == "crash-segv") return SIGSEGV;
    if (mode == "crash-bus") return SIGBUS;
    if (mode == "crash-fpe") return SIGFPE;
    if (mode == "crash-ill") return SIGILL;
    if (mode == "crash-abort") return SIGABRT;
    return 0;
}

void run(AEffect* effect, float** inputs, float** outputs, VstInt32 frames, bool replacing) {
    Stub* stub = self(effect);
    if (++stub->blocks == 2 && stub->crash != 0) {
        if (stub->crash == SIGABRT) std::abort();
        std::raise(stub->crash);
    }
    stub->note(std::string(replacing ? "process-replacing " : "process ") + std::to_string(frames));
    for (int ch = 0; ch < 2; ++ch) {
        for (VstInt32 i = 0; i < frames; ++i) {
            const float y = inputs[ch][i] * stub->params[0];
            outputs[ch][i] = replacing ? y : outputs[ch][i] + y;
        }
        if (stub->nanOutput && frames > 0) outputs[ch][0] = NAN;
    }
}

void process(AEffect* e, float** in, float** out, VstInt32 n) { run(e, in, out, n, false); }
void processReplacing(AEffect* e, float** in, float** out, VstInt32 n) { run(e, in, out, n, true); }

void setParameter(AEffect* effect, VstInt32 index, float value) {
    self(effect)->note("set-parameter " + std::to_string(index) + " " + number(value));
    if (index >= 0 && index < kParams) self(effect)->params[index] = value;
}

float getParameter(AEffect* effect, VstInt32 index) {
    return index >= 0 && index < kParams ? self(effect)->params[index] : 0.0f;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* stubMain(audioMasterCallback host)
    __asm__("main");

extern "C" AEffect* stubMain(audioMasterCallback host) {
    const char* modeVar = std::getenv("HALVORINE_STUB_MODE");
    const std::string mode = modeVar != nullptr ? modeVar : "normal";
    const char* logPath = std::getenv("HALVORINE_STUB_LOG");

    // A host must not call into a record with a wrong magic, so nothing
    // will ever close that one: keep it where a leak checker sees no leak.
    static Stub orphan;
    auto* stub = mode == "wrong-magic" ? &orphan : new Stub;
    stub->host = host;
    stub->crash = crashSignal(mode);
    stub->nanOutput = mode == "nan-output";
    if (logPath != nullptr) stub->log = std::fopen(logPath, "a");

    // Ask the host what a real effect asks while it is being built.
    stub->note("version " + std::to_string(host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f)));
    if (mode == "refuse") {
        stub->note("refused");
        if (stub->log != nullptr) std::fclose(stub->log);
        delete stub;
        return nullptr;
    }
    // Like a real effect, the record can be called as soon as its base
    // part exists, before the effect asks the host anything.
    AEffect& r = stub->record;
    r.object = stub;
    r.magic = mode == "wrong-magic" ? FourCharCode('V', 's', 't', 'X') : kEffectMagic;
    r.dispatcher = dispatcher;
    stub->note("sample-rate " + std::to_string(host(&r, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f)));
    stub->note("block-size " + std::to_string(host(&r, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f)));
    stub->note("time " + std::to_string(host(&r, audioMasterGetTime, 0, 0, nullptr, 0.0f)));
    stub->note("unknown " + std::to_string(host(&r, 4321, 0, 0, nullptr, 0.0f)));

    r.process = process;
    r.processReplacing = mode == "accumulate-only" ? nullptr : processReplacing;
    r.setParameter = setParameter;
    r.getParameter = getParameter;
    r.numPrograms = kPrograms;
    r.numParams = kParams;
    r.numInputs = mode == "one-input" ? 1 : 2;
    r.numOutputs = mode == "one-output" ? 1 : 2;
    r.flags = effFlagsCanMono | (mode == "accumulate-only" ? 0 : effFlagsCanReplacing);
    r.ioRatio = 1.0f;
    r.uniqueID = FourCharCode('h', 'S', 't', 'b');
    r.version = 1;
    return &r;
}
