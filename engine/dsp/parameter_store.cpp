#include "parameter_store.h"

namespace halvorine::dsp {

ParameterStore::ParameterStore(const Settings& initial) {
    for (Slot& slot : slots_) {
        for (auto& v : slot.values) v.store(0.0f, std::memory_order_relaxed);
        slot.rate.store(0.0f, std::memory_order_relaxed);
    }
    writeSlot(0, initial);
    freeSlots_.store((1u << kSlots) - 2u, std::memory_order_relaxed);  // all but slot 0
    published_.store(0, std::memory_order_release);
}

int ParameterStore::claimSlot() {
    std::uint32_t free = freeSlots_.load(std::memory_order_relaxed);
    for (;;) {
        if (free == 0) {  // more writers at once than slots: wait for one to publish
            free = freeSlots_.load(std::memory_order_relaxed);
            continue;
        }
        int slot = 0;
        while (!(free & (1u << slot))) ++slot;
        if (freeSlots_.compare_exchange_weak(free, free & ~(1u << slot), std::memory_order_acquire,
                                             std::memory_order_relaxed))
            return slot;
    }
}

void ParameterStore::releaseSlot(int slot) {
    freeSlots_.fetch_or(1u << slot, std::memory_order_release);
}

// Release stores and acquire loads (plain moves on x86): a reader that sees
// any value of a recycled slot also sees the publication that freed it.
void ParameterStore::writeSlot(int slot, const Settings& s) {
    Slot& d = slots_[slot];
    for (int i = 0; i < Settings::kSlots; ++i)
        d.values[i].store(s.values[static_cast<std::size_t>(i)], std::memory_order_release);
    d.rate.store(s.rate, std::memory_order_release);
}

void ParameterStore::readSlot(int slot, Settings& out) const {
    const Slot& s = slots_[slot];
    for (int i = 0; i < Settings::kSlots; ++i)
        out.values[static_cast<std::size_t>(i)] = s.values[i].load(std::memory_order_acquire);
    out.rate = s.rate.load(std::memory_order_acquire);
}

bool ParameterStore::tryRead(std::uint64_t& published, Settings& out) const {
    published = published_.load(std::memory_order_acquire);
    readSlot(indexOf(published), out);
    // Unchanged: the slot was not recycled while we copied it.
    return published_.load(std::memory_order_relaxed) == published;
}

Settings ParameterStore::current() const {
    Settings s;
    std::uint64_t published;
    while (!tryRead(published, s)) {
    }
    return s;
}

float ParameterStore::value(int slot) const {
    return current().values[static_cast<std::size_t>(slot)];
}

bool ParameterStore::readIfChanged(Settings& out, std::uint64_t& version) const {
    if (published_.load(std::memory_order_relaxed) == version) return false;
    Settings s;
    std::uint64_t published;
    if (!tryRead(published, s)) return false;
    out = s;
    version = published;
    return true;
}

}  // namespace halvorine::dsp
