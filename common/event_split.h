// Parameter changes at sample offsets within a block: the block is cut at
// every offset where a change falls, and each change applied before the
// piece that starts there. Automation is then sample-accurate, and a block
// gives the same bits as the same changes made between blocks cut at
// those offsets.
#pragma once

namespace halvorine::common {

struct Change {
    int offset;    // frames from the block's start
    int id;        // the binding's parameter id
    double value;  // in whatever form the binding's `apply` takes
};

// A block's changes, in a fixed array: nothing allocates on the audio
// thread.
class ChangeList {
public:
    static constexpr int kCapacity = 2048;
    // Distinct ids that may still change once the list is full.
    static constexpr int kOverflowIds = 32;

    void clear() {
        size_ = 0;
        fillOffset_ = 0;
    }
    // Once kCapacity changes are in, each further change only sets the
    // latest value of its own id, taking effect at the offset of the change
    // that filled the list: dense automation becomes coarser, and every
    // value still reaches its own parameter and ends at its final value.
    // Changes of more than kOverflowIds ids beyond that are dropped.
    void add(int offset, int id, double value);
    // Orders by offset; changes at the same offset keep their order.
    void sort();
    int size() const { return size_; }
    const Change& operator[](int i) const { return changes_[i]; }

private:
    Change changes_[kCapacity + kOverflowIds];
    int size_ = 0;
    int fillOffset_ = 0;
};

// Calls apply(change) for each change in order, and render(start, count)
// for each piece of [0, frames) between the offsets where changes fall.
// A negative offset counts as 0; changes at or beyond `frames` (all of
// them when `frames` is 0) are applied after the last piece. `changes`
// must be sorted.
template <class Apply, class Render>
void renderSplit(const ChangeList& changes, int frames, Apply&& apply, Render&& render) {
    int start = 0;
    int i = 0;
    const int n = changes.size();
    while (start < frames) {
        for (; i < n && changes[i].offset <= start; ++i) apply(changes[i]);
        int end = frames;
        if (i < n && changes[i].offset < end) end = changes[i].offset;
        render(start, end - start);
        start = end;
    }
    for (; i < n; ++i) apply(changes[i]);
}

}  // namespace halvorine::common
