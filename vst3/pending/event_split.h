#pragma once
#include <algorithm>
namespace halvorine::common {
struct Change { int offset; int id; double value; };
class ChangeList {
public:
    static constexpr int kCapacity = 2048;
    void clear() { n_ = 0; }
    void add(int offset, int id, double value) {
        if (n_ < kCapacity) { c_[n_++] = {offset, id, value}; return; }
        for (int i = n_ - 1; i >= 0; --i) if (c_[i].id == id) { c_[i] = {offset, id, value}; return; }
    }
    void sort() { std::stable_sort(c_, c_ + n_, [](const Change& a, const Change& b) { return a.offset < b.offset; }); }
    int size() const { return n_; }
    const Change& operator[](int i) const { return c_[i]; }
private:
    Change c_[kCapacity]; int n_ = 0;
};
template <class Apply, class Render>
void renderSplit(const ChangeList& changes, int frames, Apply&& apply, Render&& render) {
    int i = 0, pos = 0;
    while (pos < frames) {
        while (i < changes.size() && std::max(changes[i].offset, 0) <= pos) apply(changes[i++]);
        int next = frames;
        if (i < changes.size() && changes[i].offset < frames) next = changes[i].offset;
        render(pos, next - pos); pos = next;
    }
    while (i < changes.size()) apply(changes[i++]);
}
}  // namespace halvorine::common
