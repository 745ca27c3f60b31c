// One stored program: a value for each of the effect's value slots, and a
// name.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

class APluginProgram {
public:
    static constexpr int kValues = 501;   // slots 0..10 are used; the rest stay 0
    static constexpr int kNameChars = 60;  // plus the terminator

    APluginProgram();

    // Values are read and written from whichever threads the host uses for
    // parameters and programs, hence relaxed atomics.
    float value(int slot) const { return fvar[slot].load(std::memory_order_relaxed); }
    void setValue(int slot, float v) { fvar[slot].store(v, std::memory_order_relaxed); }

    // Copies the name into `dest`, at most `maxChars` characters plus the
    // terminator. Names may be read and written from different threads.
    void copyName(char* dest, std::size_t maxChars) const;
    // Stores at most kNameChars characters of `text`.
    void setName(const char* text);

private:
    std::atomic<float> fvar[kValues];
    mutable std::mutex nameLock;  // names never come near the audio thread
    char name[kNameChars + 1];
};
