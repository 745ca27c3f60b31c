#include "plugin_host.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace halvorine::test {
namespace {

// The host whose callback is live. Tests run one TestHost at a time, but
// the plug-in may call back from any thread.
std::atomic<TestHost*> g_host{nullptr};

PluginEntryProc loadEntry() {
    const std::string file = PluginLibrary::path();
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(file.c_str());
    if (!module) {
        std::fprintf(stderr, "cannot load %s\n", file.c_str());
        std::abort();
    }
    auto proc = reinterpret_cast<PluginEntryProc>(
        reinterpret_cast<void*>(GetProcAddress(module, "main")));
#else
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "cannot load %s: %s\n", file.c_str(), dlerror());
        std::abort();
    }
    auto proc = reinterpret_cast<PluginEntryProc>(dlsym(handle, "main"));
#endif
    if (!proc) {
        std::fprintf(stderr, "%s has no entry point main\n", file.c_str());
        std::abort();
    }
    return proc;
}

}  // namespace

std::string PluginLibrary::path() {
    if (const char* env = std::getenv("HALVORINE_PLUGIN")) return env;
    return HALVORINE_PLUGIN_PATH;
}

PluginEntryProc PluginLibrary::entry() {
    static const PluginEntryProc proc = loadEntry();
    return proc;
}

TestHost::TestHost() {
    answer = [](const HostRequest& r) -> VstIntPtr {
        return r.opcode == audioMasterVersion ? 2400 : 0;
    };
    previous_ = g_host.exchange(this);
}

TestHost::~TestHost() {
    for (AEffect* e : open_) e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    g_host.store(previous_);
}

VstIntPtr VSTCALLBACK TestHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                         VstIntPtr value, void* ptr, float opt) {
    TestHost* host = g_host.load();
    if (!host) return 0;
    const HostRequest r{effect, opcode, index, value, ptr, opt};
    {
        std::lock_guard<std::mutex> lock(host->mutex_);
        host->requests_.push_back(r);
    }
    return host->answer(r);
}

AEffect* TestHost::load(PluginEntryProc entry) {
    AEffect* e = (entry ? entry : PluginLibrary::entry())(&TestHost::callback);
    if (e) open_.push_back(e);
    return e;
}

AEffect* TestHost::loadOrFail(PluginEntryProc entry) {
    AEffect* e = load(entry);
    EXPECT_NE(e, nullptr) << "main refused to build an instance";
    return e;
}

VstIntPtr TestHost::close(AEffect* effect) {
    std::erase(open_, effect);
    return effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

std::string TestHost::text(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    char buffer[256];
    std::memset(buffer, 0x7F, sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    dispatch(e, opcode, index, value, buffer);
    return buffer;
}

std::vector<HostRequest> TestHost::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<VstInt32> TestHost::opcodes() const {
    std::vector<VstInt32> out;
    for (const auto& r : requests()) out.push_back(r.opcode);
    return out;
}

void TestHost::clearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

std::vector<float> toneWithNoise(int frames, double frequency, unsigned seed) {
    std::vector<float> s(static_cast<std::size_t>(frames));
    unsigned state = seed;
    for (int i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
        s[static_cast<std::size_t>(i)] =
            static_cast<float>(0.5 * std::sin(frequency * i) + 0.3 * noise);
    }
    return s;
}

unsigned bitsOf(float f) {
    unsigned u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

#if defined(_WIN32) && defined(__i386__)
namespace {

// Calls `process` the way some 32-bit Windows hosts do: with the stack 4
// bytes off the 16-byte alignment GCC's own code keeps (Windows promises
// only 4), so that the plug-in's vector code must realign it itself.
__attribute__((noinline)) void processOnMisalignedStack(AEffectProcessProc process, AEffect* e,
                                                        float** inputs, float** outputs,
                                                        VstInt32 frames) {
    const std::uintptr_t call[5] = {reinterpret_cast<std::uintptr_t>(process),
                                    reinterpret_cast<std::uintptr_t>(e),
                                    reinterpret_cast<std::uintptr_t>(inputs),
                                    reinterpret_cast<std::uintptr_t>(outputs),
                                    static_cast<std::uintptr_t>(frames)};
    asm volatile(
        "mov %%esp, %%esi\n\t"
        "and $-16, %%esp\n\t"
        "sub $4, %%esp\n\t"  // with the four arguments: 12 modulo 16 at the call
        "pushl 16(%%edi)\n\t"
        "pushl 12(%%edi)\n\t"
        "pushl 8(%%edi)\n\t"
        "pushl 4(%%edi)\n\t"
        "call *(%%edi)\n\t"
        "mov %%esi, %%esp\n\t"
        :
        : "D"(call)
        : "eax", "ecx", "edx", "esi", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4",
          "xmm5", "xmm6", "xmm7");
}

}  // namespace
#endif

void processBlock(AEffect* e, const float* modulator, const float* carrier, float* out0,
                  float* out1, int frames, bool replacing) {
    float* inputs[2] = {const_cast<float*>(modulator), const_cast<float*>(carrier)};
    float* outputs[2] = {out0, out1};
#if defined(_WIN32) && defined(__i386__)
    processOnMisalignedStack(replacing ? e->processReplacing : e->process, e, inputs, outputs,
                             frames);
#else
    (replacing ? e->processReplacing : e->process)(e, inputs, outputs, frames);
#endif
}

}  // namespace halvorine::test
