// The audio path and the parameter path allocate nothing. Every allocation
// in the process, the plug-in's included, goes through this program's
// operator new, which counts while a probe is active.
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "support/plugin_host.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace halvorine::test;

TEST(Allocation, NoneWhileProcessingOrChangingParameters) {
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
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
}
