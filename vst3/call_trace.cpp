#include "call_trace.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace halvorine::vst3 {
namespace {

std::uint64_t threadNow() {
#if defined(_WIN32)
    return GetCurrentThreadId();
#else
    return static_cast<std::uint64_t>(pthread_self());
#endif
}

const char* const kNames[] = {"setState", "getState", "setComponentState", "setParamNormalized",
                              "process",  "  change", "setActive",         "setupProcessing",
                              "setProcessing", "  value", "activateBus", "setBusArrangements"};

}  // namespace

CallTrace::CallTrace() {
    const char* path = std::getenv("HALVORINE_VST3_TRACE");
    if (!path || !*path) return;
    path_ = path;
    records_ = std::make_unique<Record[]>(kCapacity);
}

void CallTrace::add(Kind kind, int id, double value, int extra) {
    const std::uint64_t at = next_.fetch_add(1, std::memory_order_relaxed);
    if (at >= kCapacity) return;  // full: the rest is dropped, and counted
    Record& r = records_[at];
    r.thread.store(threadNow(), std::memory_order_relaxed);
    r.id.store(id, std::memory_order_relaxed);
    r.value.store(value, std::memory_order_relaxed);
    r.extra.store(extra, std::memory_order_relaxed);
    r.kind.store(kind, std::memory_order_release);
}

void CallTrace::dump() {
    if (!records_) return;
    const std::uint64_t count = next_.exchange(0, std::memory_order_acq_rel);
    if (count == 0) return;
    std::FILE* f = std::fopen(path_.c_str(), "a");
    if (!f) return;
    std::vector<std::uint64_t> threads;  // numbered in order of appearance
    std::fprintf(f, "instance %p: %lu calls\n", static_cast<void*>(this), static_cast<unsigned long>(count));
    for (std::uint64_t i = 0; i < count && i < kCapacity; ++i) {
        Record& r = records_[i];
        const int kind = r.kind.exchange(-1, std::memory_order_acquire);
        if (kind < 0 || kind >= static_cast<int>(sizeof kNames / sizeof kNames[0])) {
            std::fprintf(f, "%lu (unfinished)\n", static_cast<unsigned long>(i));
            continue;
        }
        const std::uint64_t thread = r.thread.load(std::memory_order_relaxed);
        std::size_t t = 0;
        while (t < threads.size() && threads[t] != thread) ++t;
        if (t == threads.size()) threads.push_back(thread);
        std::fprintf(f, "%lu t%u %s %d %.17g %d\n", static_cast<unsigned long>(i), static_cast<unsigned>(t), kNames[kind],
                     r.id.load(std::memory_order_relaxed), r.value.load(std::memory_order_relaxed),
                     r.extra.load(std::memory_order_relaxed));
    }
    if (count > kCapacity)
        std::fprintf(f, "(%lu calls dropped)\n", static_cast<unsigned long>(count - kCapacity));
    std::fclose(f);
}

}  // namespace halvorine::vst3
