// A minimal host for tests: loads the built plug-in library the way a host
// application does, calls `main` with a recording callback, and drives the
// instance through the record's entry points.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "DAEffectX.h"

namespace halvorine::test {

// One request the plug-in sent to the host.
struct HostRequest {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// The loaded library. Loading happens once per test program and the
// library stays loaded.
class PluginLibrary {
public:
    static PluginEntryProc entry();  // fails the test program if it cannot load
    static std::string path();
};

class TestHost {
public:
    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // Calls `main` (or another entry); returns its record (null when it
    // refused).
    AEffect* load(PluginEntryProc entry = nullptr);
    // Loads and fails the current test if `main` refuses.
    AEffect* loadOrFail(PluginEntryProc entry = nullptr);
    // Sends effClose through the record's dispatcher entry.
    VstIntPtr close(AEffect* effect);

    VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }
    std::string text(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);

    // How the host answers; by default 2400 to the version probe and 0 to
    // everything else.
    std::function<VstIntPtr(const HostRequest&)> answer;

    std::vector<HostRequest> requests() const;
    std::vector<VstInt32> opcodes() const;
    void clearRequests();

private:
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);
    mutable std::mutex mutex_;
    std::vector<HostRequest> requests_;
    std::vector<AEffect*> open_;
    TestHost* previous_ = nullptr;  // hosts nest: the newest one answers
};

// Bits of a float, for exact comparisons.
unsigned bitsOf(float f);

// Processes `frames` frames through processReplacing (or process) with
// separate buffers.
void processBlock(AEffect* e, const float* modulator, const float* carrier, float* out0,
                  float* out1, int frames, bool replacing = true);

// A tone of `frequency` radians a frame under integer noise: the same bits
// on every target.
std::vector<float> toneWithNoise(int frames, double frequency, unsigned seed);

}  // namespace halvorine::test
