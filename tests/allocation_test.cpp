// The audio path and the parameter path allocate nothing. On Linux every
// allocation in the process, the plug-in's included, goes through this
// program's operator new, which counts while a probe is active. A Windows
// DLL carries its own C++ runtime, so there the probe counts what the DLL
// asks of the C runtime instead: its imports of the allocation functions
// are redirected to counting ones.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <malloc.h>
#endif

#include <gtest/gtest.h>

#include "support/plugin_host.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void counted() {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
}
}  // namespace

void* operator new(std::size_t size) {
    counted();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace halvorine::test;

namespace {

#if defined(_WIN32)
void* countingMalloc(std::size_t n) { counted(); return std::malloc(n); }
void* countingCalloc(std::size_t n, std::size_t size) { counted(); return std::calloc(n, size); }
void* countingRealloc(void* p, std::size_t n) { counted(); return std::realloc(p, n); }
void* countingAlignedMalloc(std::size_t n, std::size_t alignment) {
    counted();
    return _aligned_malloc(n, alignment);
}
char* countingStrdup(const char* s) { counted(); return _strdup(s); }

// Points the plug-in's import address table entries for the C runtime's
// allocation functions at the counting ones. Returns how many it redirected.
int countThePluginsAllocations() {
    PluginLibrary::entry();  // loaded
    auto* base = reinterpret_cast<std::uint8_t*>(GetModuleHandleA("halvorine.dll"));
    if (!base) return 0;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const struct {
        const char* name;
        void* replacement;
    } counting[] = {
        {"malloc", reinterpret_cast<void*>(&countingMalloc)},
        {"calloc", reinterpret_cast<void*>(&countingCalloc)},
        {"realloc", reinterpret_cast<void*>(&countingRealloc)},
        {"_aligned_malloc", reinterpret_cast<void*>(&countingAlignedMalloc)},
        {"_strdup", reinterpret_cast<void*>(&countingStrdup)},
    };
    int redirected = 0;
    for (auto* dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         dll->Name; ++dll) {
        if (_stricmp(reinterpret_cast<const char*>(base + dll->Name), "msvcrt.dll") != 0) continue;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base + (dll->OriginalFirstThunk ? dll->OriginalFirstThunk : dll->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char* name = reinterpret_cast<const char*>(
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
            for (const auto& c : counting) {
                if (std::strcmp(name, c.name) != 0) continue;
                DWORD protection = 0;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(c.replacement);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
                ++redirected;
            }
        }
    }
    return redirected;
}
#endif

class Allocation : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
#if defined(_WIN32)
        ASSERT_GE(countThePluginsAllocations(), 1) << "the DLL imports no malloc";
#endif
    }
};

}  // namespace

// The probe reaches the plug-in's own allocations: making an instance
// allocates.
TEST_F(Allocation, TheProbeSeesThePluginsAllocations) {
    TestHost host;
    g_allocations = 0;
    g_counting = true;
    AEffect* e = host.loadOrFail();
    g_counting = false;
    EXPECT_GT(g_allocations.load(), 0);
    if (e) host.close(e);
}

TEST_F(Allocation, NoneWhileProcessingOrChangingParameters) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    std::vector<float> m(512, 0.5f), c(512, -0.25f), o0(512), o1(512);
    float* in[2] = {m.data(), c.data()};
    float* out[2] = {o0.data(), o1.data()};
    e->processReplacing(e, in, out, 512);  // warm up

    g_allocations = 0;
    g_counting = true;
    for (int block = 0; block < 50; ++block) {
        e->setParameter(e, block % 10, (block % 7) / 6.0f);
        e->processReplacing(e, in, out, 512);
        e->process(e, in, out, 512);
        if (block % 10 == 0) e->dispatcher(e, effSetProgram, 0, block % 8, nullptr, 0.0f);
        // Texts some hosts ask for on their audio thread.
        char text[64];
        e->dispatcher(e, effGetParamDisplay, block % 10, 0, text, 0.0f);
        e->dispatcher(e, effGetProgramName, 0, 0, text, 0.0f);
        e->dispatcher(e, effGetProgramNameIndexed, block % 8, 0, text, 0.0f);
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
}
