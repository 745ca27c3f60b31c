// One stored program: a value for each of the effect's value slots, and a
// name. Values and names are read and written from whichever threads the
// host uses, its audio thread among them, so neither side ever waits or
// allocates: values are relaxed atomics, and a name is copied under a
// sequence count that a reader checks and retries on.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class APluginProgram {
public:
    static constexpr int kValues = 19;     // slots 0..10, and the carrier synth's 11..18
    static constexpr int kNameChars = 60;  // plus the terminator

    APluginProgram();

    float value(int slot) const { return fvar[slot].load(std::memory_order_relaxed); }
    void setValue(int slot, float v) { fvar[slot].store(v, std::memory_order_relaxed); }

    // Copies the name into `dest`, at most `maxChars` characters plus the
    // terminator; returns the length copied.
    std::size_t copyName(char* dest, std::size_t maxChars) const;
    // Stores at most kNameChars characters of `text`.
    void setName(const char* text);

private:
    std::atomic<float> fvar[kValues];
    // Odd while a writer is copying a name in.
    mutable std::atomic<std::uint32_t> nameSequence{0};
    std::atomic<char> name[kNameChars + 1];
};
