#include "APluginProgram.h"

APluginProgram::APluginProgram() {
    for (auto& v : fvar) v.store(0.0f, std::memory_order_relaxed);
    setName("Init");
}

// A writer takes the sequence from even to odd, copies, and makes it even
// again; writers after each other, readers never wait for anybody.
void APluginProgram::setName(const char* text) {
    std::uint32_t seq = nameSequence.load(std::memory_order_relaxed);
    for (;;) {
        if (!(seq & 1u) && nameSequence.compare_exchange_weak(seq, seq + 1, std::memory_order_acq_rel,
                                                              std::memory_order_relaxed))
            break;
        seq = nameSequence.load(std::memory_order_relaxed);
    }
    std::size_t i = 0;
    // Release stores: a reader that sees any new character also sees the
    // odd sequence before it, and tries again.
    for (; text && text[i] && i < kNameChars; ++i) name[i].store(text[i], std::memory_order_release);
    name[i].store('\0', std::memory_order_release);
    nameSequence.store(seq + 2, std::memory_order_release);
}

// Copies under the sequence and tries again when a writer came in between.
// A writer stopped halfway for longer than the tries last gives its name as
// it stands then: whole characters, always terminated.
std::size_t APluginProgram::copyName(char* dest, std::size_t maxChars) const {
    if (maxChars > kNameChars) maxChars = kNameChars;
    std::size_t n = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::uint32_t before = nameSequence.load(std::memory_order_acquire);
        n = 0;
        // Acquire loads: the second look at the sequence stays after them.
        for (char c; n < maxChars && (c = name[n].load(std::memory_order_acquire)) != '\0'; ++n)
            dest[n] = c;
        if (!(before & 1u) && nameSequence.load(std::memory_order_relaxed) == before) break;
    }
    dest[n] = '\0';
    return n;
}
