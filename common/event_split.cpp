#include "event_split.h"

namespace halvorine::common {

void ChangeList::add(int offset, int id, double value) {
    if (offset < 0) offset = 0;
    if (size_ < kCapacity) {
        changes_[size_++] = {offset, id, value};
        if (size_ == kCapacity) fillOffset_ = offset;
        return;
    }
    for (int k = kCapacity; k < size_; ++k) {
        if (changes_[k].id == id) {
            changes_[k].value = value;
            return;
        }
    }
    if (size_ < kCapacity + kOverflowIds) changes_[size_++] = {fillOffset_, id, value};
}

// Insertion sort: the changes mostly arrive in order already, and it keeps
// equal offsets in their order.
void ChangeList::sort() {
    for (int i = 1; i < size_; ++i) {
        const Change c = changes_[i];
        int j = i;
        for (; j > 0 && changes_[j - 1].offset > c.offset; --j) changes_[j] = changes_[j - 1];
        changes_[j] = c;
    }
}

}  // namespace halvorine::common
