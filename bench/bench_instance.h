// What both engine benchmarks drive: an effect instance made on a chosen
// instruction set, through its record as a host drives it, and 512 frames
// of two test tones.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "DAudioEffect.h"

namespace halvorine::bench {

inline VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*,
                                       float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// HALVORINE_SIMD for the instances made after this call.
inline void forceInstructionSet(const std::string& set) {
#if defined(_WIN32)
    _putenv_s("HALVORINE_SIMD", set.c_str());
#else
    setenv("HALVORINE_SIMD", set.c_str(), 1);
#endif
}

struct Instance {
    explicit Instance(const std::string& set) {
        forceInstructionSet(set);
        effect = createEffectInstance(quietHost)->getAeffect();
    }
    ~Instance() { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    void block(float** in, float** out, int frames) {
        effect->processReplacing(effect, in, out, frames);
    }
    AEffect* effect = nullptr;
};

constexpr int kLongest = 512;

struct Signals {
    Signals() : mod(kLongest), car(kLongest), out0(kLongest), out1(kLongest) {
        for (int i = 0; i < kLongest; ++i) {
            mod[i] = static_cast<float>(0.5 * std::sin(i * 0.05));
            car[i] = static_cast<float>(0.5 * std::sin(i * 0.013));
        }
    }
    std::vector<float> mod, car, out0, out1;
    float* in[2] = {mod.data(), car.data()};
    float* out[2] = {out0.data(), out1.data()};
};

}  // namespace halvorine::bench
