// What the editor did, on its way to the host: gesture begins and ends and
// values, from the user-interface thread to whichever thread next runs
// process() or flush(). One producer, one consumer, no locks, no allocation.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace halvorine::clap {

struct EditorEvent {
    enum Kind : std::uint8_t { Begin, Value, End } kind;
    std::uint8_t id;
    float value;  // normalised, for Value
};

class EditorQueue {
public:
    static constexpr std::uint32_t kCapacity = 1024;  // a power of two

    // User-interface thread. False when full (the event is dropped).
    bool push(const EditorEvent& e) {
        const std::uint32_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == kCapacity) return false;
        events_[tail & (kCapacity - 1)] = e;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // The consumer: calls f(event) for each waiting event, oldest first.
    template <class F>
    void drain(F&& f) {
        std::uint32_t head = head_.load(std::memory_order_relaxed);
        const std::uint32_t tail = tail_.load(std::memory_order_acquire);
        for (; head != tail; ++head) f(events_[head & (kCapacity - 1)]);
        head_.store(head, std::memory_order_release);
    }

private:
    std::array<EditorEvent, kCapacity> events_{};
    std::atomic<std::uint32_t> head_{0};
    std::atomic<std::uint32_t> tail_{0};
};

}  // namespace halvorine::clap
