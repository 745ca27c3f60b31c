#include "presets.h"

#include <cstring>
#include <new>
#include <string_view>

#include "factory_presets.h"
#include "plugin.h"
#include "product.h"

namespace halvorine::clap {
namespace {

constexpr const char* kPresetNames[kPresets] = {"Preset 0", "Preset 1", "Preset 2", "Preset 3",
                                                "Preset 4", "Preset 5", "Preset 6", "Preset 7"};
constexpr const char* kLoadKeys[kPresets] = {"0", "1", "2", "3", "4", "5", "6", "7"};
constexpr std::string_view kFactoryKeyPrefix = "factory:";

const PresetProviderDescriptor kProviderDescriptor{kVersion, "brindlex.halvorine.presets",
                                                   "Halvorine presets", kVendorName};

struct Provider {
    PresetProvider clap;
    const PresetIndexer* indexer;
};

bool providerInit(const PresetProvider* p) {
    const PresetIndexer* indexer = static_cast<const Provider*>(p->provider_data)->indexer;
    const PresetLocation location{kPresetIsFactoryContent, kProductName, kPresetLocationPlugin,
                                  nullptr};
    return indexer->declare_location && indexer->declare_location(indexer, &location);
}

void providerDestroy(const PresetProvider* p) {
    delete static_cast<Provider*>(p->provider_data);
}

bool providerMetadata(const PresetProvider*, std::uint32_t kind,
                                         const char* location,
                                         const PresetMetadataReceiver* receiver) {
    if (kind != kPresetLocationPlugin || location || !receiver || !receiver->begin_preset)
        return false;
    const UniversalPluginId plugin{"clap", kPluginId};
    for (int i = 0; i < kPresets; ++i) {
        if (!receiver->begin_preset(receiver, kPresetNames[i], kLoadKeys[i])) break;
        if (receiver->add_plugin_id) receiver->add_plugin_id(receiver, &plugin);
        if (receiver->set_flags) receiver->set_flags(receiver, kPresetIsFactoryContent);
    }
    const FactoryPreset* factory = factoryPresets();
    for (int i = 0; i < kFactoryPresetCount; ++i) {
        char key[96];
        const std::string_view name = factory[i].name;
        if (kFactoryKeyPrefix.size() + name.size() >= sizeof key) continue;
        std::memcpy(key, kFactoryKeyPrefix.data(), kFactoryKeyPrefix.size());
        std::memcpy(key + kFactoryKeyPrefix.size(), name.data(), name.size());
        key[kFactoryKeyPrefix.size() + name.size()] = '\0';
        if (!receiver->begin_preset(receiver, factory[i].name, key)) break;
        if (receiver->add_plugin_id) receiver->add_plugin_id(receiver, &plugin);
        if (receiver->set_flags) receiver->set_flags(receiver, kPresetIsFactoryContent);
        if (receiver->set_description) receiver->set_description(receiver, factory[i].about);
    }
    return true;
}

const void* providerExtension(const PresetProvider*, const char*) {
    return nullptr;
}

std::uint32_t factoryCount(const PresetDiscoveryFactory*) { return 1; }

const PresetProviderDescriptor* factoryDescriptor(const PresetDiscoveryFactory*,
                                                                     std::uint32_t index) {
    return index == 0 ? &kProviderDescriptor : nullptr;
}

const PresetProvider* factoryCreate(const PresetDiscoveryFactory*,
                                                       const PresetIndexer* indexer,
                                                       const char* id) {
    if (!indexer || !id || std::string_view(id) != kProviderDescriptor.id) return nullptr;
    auto* p = new (std::nothrow) Provider{};
    if (!p) return nullptr;
    p->clap = {&kProviderDescriptor, p, providerInit, providerDestroy, providerMetadata,
               providerExtension};
    p->indexer = indexer;
    return &p->clap;
}

const PresetDiscoveryFactory kFactory{factoryCount, factoryDescriptor, factoryCreate};

}  // namespace

const PresetDiscoveryFactory& presetDiscoveryFactory() { return kFactory; }

int presetOfKey(const char* loadKey) {
    if (!loadKey) return -1;
    for (int i = 0; i < kPresets; ++i)
        if (std::string_view(loadKey) == kLoadKeys[i]) return i;
    return -1;
}

}  // namespace halvorine::clap

namespace halvorine::clap {

int factoryPresetOfKey(const char* loadKey) {
    if (!loadKey) return -1;
    const std::string_view key = loadKey;
    if (key.substr(0, kFactoryKeyPrefix.size()) != kFactoryKeyPrefix) return -1;
    const std::string_view name = key.substr(kFactoryKeyPrefix.size());
    const FactoryPreset* factory = factoryPresets();
    for (int i = 0; i < kFactoryPresetCount; ++i)
        if (name == factory[i].name) return i;
    return -1;
}

}  // namespace halvorine::clap
