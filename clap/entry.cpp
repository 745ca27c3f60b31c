// The library's single export, `clap_entry`: the plug-in factory with its
// one descriptor, and the preset-discovery factory. init and deinit may come
// more than once; the factories answer while more inits than deinits have
// been made. Nothing is thrown across this boundary.
#include <atomic>
#include <cstring>
#include <new>

#include "clap_abi.h"
#include "plugin.h"
#include "presets.h"

namespace halvorine::clap {
namespace {

std::atomic<int> initCount{0};

bool entryInit(const char*) {
    initCount.fetch_add(1, std::memory_order_acq_rel);
    return true;
}

void entryDeinit() {
    int n = initCount.load(std::memory_order_acquire);
    while (n > 0 && !initCount.compare_exchange_weak(n, n - 1, std::memory_order_acq_rel)) {
    }
}

std::uint32_t pluginCount(const PluginFactory*) { return 1; }

const PluginDescriptor* pluginDescriptor(const PluginFactory*,
                                                            std::uint32_t index) {
    return index == 0 ? &descriptor() : nullptr;
}

const Plugin* createPlugin(const PluginFactory*, const Host* host,
                                              const char* id) {
    if (!host || !id || std::strcmp(id, descriptor().id) != 0) return nullptr;
    return makePlugin(host);
}

const PluginFactory kPluginFactory{pluginCount, pluginDescriptor, createPlugin};

const void* entryFactory(const char* id) {
    if (!id || initCount.load(std::memory_order_acquire) == 0) return nullptr;
    if (std::strcmp(id, kPluginFactoryId) == 0) return &kPluginFactory;
    if (std::strcmp(id, kPresetDiscoveryFactoryId) == 0 ||
        std::strcmp(id, kPresetDiscoveryFactoryIdDraft) == 0)
        return &presetDiscoveryFactory();
    return nullptr;
}

}  // namespace
}  // namespace halvorine::clap

#if defined(_WIN32)
extern "C" const halvorine::clap::PluginEntry clap_entry;  // exported by the definition file
#else
extern "C" __attribute__((visibility("default"))) const halvorine::clap::PluginEntry clap_entry;
#endif
extern "C" const halvorine::clap::PluginEntry clap_entry{
    halvorine::clap::kVersion, halvorine::clap::entryInit, halvorine::clap::entryDeinit,
    halvorine::clap::entryFactory};
