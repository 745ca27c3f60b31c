// The effect's settings, published whole: the nineteen parameter values and
// the design sample rate as one snapshot.
//
// Any thread may change the settings at any time, the audio thread among
// them (hosts automate from it), so nothing here locks or waits on another
// thread. A writer builds its new snapshot in a slot of its own and
// publishes it with one atomic exchange of the slot index, retrying on top
// of any snapshot published in between. A program switch that writes all
// eleven values therefore arrives whole or not at all, and two writers
// never mix their values.
//
// A slot is recycled only after a newer snapshot has been published, and
// slots are written with release and read with acquire, so a reader whose
// copy caught a recycled slot sees a newer publication when it looks again. The audio thread takes its copy at the start of a block and never
// waits: a refused copy is taken again at the next block.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace halvorine::dsp {

struct Settings {
    static constexpr int kSlots = 19;  // the effect's eleven, then the carrier synth's eight
    std::array<float, kSlots> values{};
    float rate = 44100.0f;
};

class ParameterStore {
public:
    explicit ParameterStore(const Settings& initial);

    ParameterStore(const ParameterStore&) = delete;
    ParameterStore& operator=(const ParameterStore&) = delete;

    // Any thread. Applies `edit` (a function of Settings&) to the newest
    // settings and publishes the result whole. `edit` may run more than
    // once when another writer publishes in between.
    template <class Edit>
    void update(Edit&& edit) {
        const int mine = claimSlot();
        std::uint64_t seen = published_.load(std::memory_order_acquire);
        for (;;) {
            // If the slot behind `seen` is recycled while we read it, `seen`
            // is no longer the newest and the exchange below fails.
            Settings next;
            readSlot(indexOf(seen), next);
            edit(next);
            writeSlot(mine, next);
            const std::uint64_t tagged = tag(seen, mine);
            if (published_.compare_exchange_weak(seen, tagged, std::memory_order_acq_rel,
                                                 std::memory_order_acquire)) {
                releaseSlot(indexOf(seen));
                return;
            }
        }
    }

    // Any thread: the newest published settings.
    Settings current() const;
    float value(int slot) const;

    // Audio thread: copies the newest settings into `out` if they were
    // published after `version`, and updates `version`. Returns false, and
    // leaves both alone, when nothing is new or a writer got in the way.
    bool readIfChanged(Settings& out, std::uint64_t& version) const;

private:
    static constexpr int kSlots = 8;  // one per concurrent writer, plus the published one
    struct Slot {
        std::atomic<float> values[Settings::kSlots];
        std::atomic<float> rate{0.0f};
    };

    static int indexOf(std::uint64_t published) { return static_cast<int>(published & 0xFF); }
    static std::uint64_t tag(std::uint64_t previous, int slot) {
        return ((previous >> 8) + 1) << 8 | static_cast<std::uint64_t>(slot);
    }

    int claimSlot();
    void releaseSlot(int slot);
    void writeSlot(int slot, const Settings& s);
    void readSlot(int slot, Settings& out) const;
    // Copies the newest settings; false if a writer got in the way.
    bool tryRead(std::uint64_t& published, Settings& out) const;

    Slot slots_[kSlots];
    std::atomic<std::uint32_t> freeSlots_{0};    // bit i: slot i may be claimed
    std::atomic<std::uint64_t> published_{0};    // publication count << 8 | slot
};

}  // namespace halvorine::dsp
