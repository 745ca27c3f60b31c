// The module's entry points: the factory that lists the one audio effect
// class and makes its instances, and the load and unload calls of each
// platform. Nothing is thrown across this boundary.
#include <cstdio>
#include <cstring>
#include <new>

#include "effect.h"
#include "identity.h"
#include "interfaces.h"

namespace halvorine::vst3 {
namespace {

constexpr Uid kClassId =
    makeUid(kClassIdWords[0], kClassIdWords[1], kClassIdWords[2], kClassIdWords[3]);

template <std::size_t N>
void copyText(char (&out)[N], const char* text) {
    std::snprintf(out, N, "%s", text);
}

// The fields the first and the second class description share.
template <class Info>
void describeClass(Info& info) {
    std::memset(&info, 0, sizeof info);
    std::memcpy(info.cid, kClassId.bytes, sizeof info.cid);
    info.cardinality = PClassInfo::kManyInstances;
    copyText(info.category, kCategory);
    copyText(info.name, kClassName);
}

// One factory for the module's lifetime; hosts' references to it cost nothing.
class Factory final : public IPluginFactory2 {
public:
    tresult HALVORINE_VST3_CALL queryInterface(const TUID interfaceId, void** obj) override {
        if (!obj) return kInvalidArgument;
        if (FUnknown::iid.matches(interfaceId) || IPluginFactory::iid.matches(interfaceId) ||
            IPluginFactory2::iid.matches(interfaceId)) {
            *obj = static_cast<IPluginFactory2*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 HALVORINE_VST3_CALL addRef() override { return 1; }
    uint32 HALVORINE_VST3_CALL release() override { return 1; }

    tresult HALVORINE_VST3_CALL getFactoryInfo(PFactoryInfo* info) override {
        if (!info) return kInvalidArgument;
        std::memset(info, 0, sizeof *info);
        copyText(info->vendor, kVendor);
        copyText(info->url, kUrl);
        copyText(info->email, kEmail);
        info->flags = PFactoryInfo::kNoFlags;
        return kResultOk;
    }
    int32 HALVORINE_VST3_CALL countClasses() override { return 1; }

    tresult HALVORINE_VST3_CALL getClassInfo(int32 index, PClassInfo* info) override {
        if (index != 0 || !info) return kInvalidArgument;
        describeClass(*info);
        return kResultOk;
    }

    tresult HALVORINE_VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) override {
        if (index != 0 || !info) return kInvalidArgument;
        describeClass(*info);
        info->classFlags = 0;
        copyText(info->subCategories, kSubCategories);
        copyText(info->vendor, kVendor);
        copyText(info->version, kVersion);
        copyText(info->sdkVersion, kInterfaceVersion);
        return kResultOk;
    }

    tresult HALVORINE_VST3_CALL createInstance(FIDString cid, FIDString interfaceId,
                                               void** obj) override {
        if (!obj) return kInvalidArgument;
        *obj = nullptr;
        if (!kClassId.matches(cid)) return kNoInterface;
        Effect* effect = new (std::nothrow) Effect;
        if (!effect) return kOutOfMemory;
        const tresult result = effect->queryInterface(interfaceId, obj);
        effect->release();  // the new reference, if any, is the caller's
        return result;
    }
};

Factory gFactory;

}  // namespace
}  // namespace halvorine::vst3

#if defined(_WIN32)
#define HALVORINE_VST3_EXPORT extern "C"
#else
#define HALVORINE_VST3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

HALVORINE_VST3_EXPORT halvorine::vst3::IPluginFactory* HALVORINE_VST3_CALL GetPluginFactory() {
    return &halvorine::vst3::gFactory;
}

// The module needs no set-up of its own: loading and unloading always succeed.
#if defined(_WIN32)
HALVORINE_VST3_EXPORT bool InitDll() { return true; }
HALVORINE_VST3_EXPORT bool ExitDll() { return true; }
#else
HALVORINE_VST3_EXPORT bool ModuleEntry(void*) { return true; }
HALVORINE_VST3_EXPORT bool ModuleExit() { return true; }
#endif
