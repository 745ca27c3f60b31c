// What the editor did, on its way to the host: gesture begins and ends and
// values, from the user-interface thread to whichever thread next runs
// process() or flush(). One producer, one consumer, no locks, no allocation.
//
// A host that takes no events for a while (stopped, or its own queue full)
// must still see every drag whole, or it stays in touch mode: so each
// gesture the host has seen begin keeps two places free in the queue, for
// its last value and its end. What does not fit waits on the producer's
// side, per parameter (its begin, only its latest value, its end), and goes
// in order as room comes back: at the next push or retry().
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
    static constexpr int kIds = 32;                   // parameter ids 0..31

    // User-interface thread. Queues the event, or keeps it waiting until
    // there is room (an id beyond kIds is dropped). True when nothing waits.
    bool push(const EditorEvent& e) {
        if (e.id >= kIds) return retry();
        Waiting& w = waiting_[e.id];
        switch (e.kind) {
            case EditorEvent::Begin:
                w.begin = true;
                w.end = false;  // an earlier drag the host never saw begin: one gesture with this one
                break;
            case EditorEvent::Value: w.hasValue = true; w.value = e.value; break;
            case EditorEvent::End: w.end = true; break;
        }
        return retry();
    }

    // User-interface thread: queues what waits, as far as there is room.
    // True when nothing waits any more.
    bool retry() {
        bool done = true;
        for (int id = 0; id < kIds; ++id) done = send(id) && done;
        return done;
    }

    // The consumer: calls f(event) for each queued event, oldest first,
    // until f returns false; that event stays first in line.
    template <class F>
    void drain(F&& f) {
        std::uint32_t head = head_.load(std::memory_order_relaxed);
        const std::uint32_t tail = tail_.load(std::memory_order_acquire);
        for (; head != tail; ++head)
            if (!f(events_[head & (kCapacity - 1)])) break;
        head_.store(head, std::memory_order_release);
    }

private:
    struct Waiting {
        bool begin = false, hasValue = false, end = false;
        bool open = false;  // its begin is queued, its end not yet
        float value = 0.0f;
    };

    std::uint32_t room() const {
        return kCapacity - (tail_.load(std::memory_order_relaxed) - head_.load(std::memory_order_acquire));
    }
    void put(const EditorEvent& e) {
        const std::uint32_t tail = tail_.load(std::memory_order_relaxed);
        events_[tail & (kCapacity - 1)] = e;
        tail_.store(tail + 1, std::memory_order_release);
    }

    // Queues what waits for one id, in its order; true when nothing is left.
    // The room kept for open gestures is never given to anything else.
    bool send(int id) {
        Waiting& w = waiting_[id];
        const auto i = static_cast<std::uint8_t>(id);
        const std::uint32_t kept = 2 * static_cast<std::uint32_t>(openCount_);
        if (w.begin) {
            if (w.open) {  // a begin without the end before it: end that one first
                if (w.hasValue) put({EditorEvent::Value, i, w.value});
                put({EditorEvent::End, i, 0.0f});
                w.hasValue = false;
                w.open = false;
                --openCount_;
                return send(id);
            }
            if (room() < kept + 3) return false;  // the begin, and its own two kept places
            put({EditorEvent::Begin, i, 0.0f});
            w.begin = false;
            w.open = true;
            ++openCount_;
            return send(id);
        }
        if (w.end && w.open) {  // into the places kept for it
            if (w.hasValue) put({EditorEvent::Value, i, w.value});
            put({EditorEvent::End, i, 0.0f});
            w = Waiting{};
            --openCount_;
            return true;
        }
        if (w.end) w.end = false;  // an end whose begin never came
        if (w.hasValue) {
            if (room() < kept + 1) return false;
            put({EditorEvent::Value, i, w.value});
            w.hasValue = false;
        }
        return true;
    }

    std::array<EditorEvent, kCapacity> events_{};
    std::atomic<std::uint32_t> head_{0};
    std::atomic<std::uint32_t> tail_{0};
    // The producer's alone.
    std::array<Waiting, kIds> waiting_{};
    int openCount_ = 0;
};

}  // namespace halvorine::clap
