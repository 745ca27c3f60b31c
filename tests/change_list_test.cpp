// A block's parameter changes beyond what the change list holds: whatever
// a host sends, every value reaches its own parameter and each parameter
// ends at the last value sent for it.
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "event_split.h"

namespace halvorine::common {
namespace {

struct Sent {
    int offset, id;
};

struct FloodCase {
    const char* name;
    std::vector<Sent> sent;
};

std::vector<Sent> queueByQueue() {  // as VST 3 hosts hand them over
    std::vector<Sent> s;
    for (int i = 0; i < ChangeList::kCapacity + 50; ++i) s.push_back({i, 8});
    s.push_back({10, 100});
    for (int i = 0; i < 300; ++i) s.push_back({i * 3, 2});
    return s;
}

std::vector<Sent> inTimeOrder() {  // as CLAP hosts send them
    std::vector<Sent> s;
    for (int t = 0; t < 3000; ++t) s.push_back({t, t % 3});
    s.push_back({3000, 7});
    return s;
}

std::vector<Sent> allAtOneOffset() {
    std::vector<Sent> s;
    for (int i = 0; i < ChangeList::kCapacity + 5; ++i) s.push_back({64, i % 2 ? 4 : 5});
    s.push_back({64, 6});
    return s;
}

const FloodCase kFloods[] = {{"QueueByQueue", queueByQueue()},
                             {"InTimeOrder", inTimeOrder()},
                             {"AllAtOneOffset", allAtOneOffset()}};

class Flood : public ::testing::TestWithParam<FloodCase> {};

TEST_P(Flood, EveryValueReachesItsOwnParameterAndEndsAtTheLastSent) {
    static ChangeList list;  // large: not on the stack
    list.clear();
    std::map<int, double> last;
    int n = 0;
    for (const Sent& s : GetParam().sent) {
        const double value = s.id * 1e6 + n++;  // the id is in the value
        list.add(s.offset, s.id, value);
        last[s.id] = value;
    }
    list.sort();
    std::map<int, double> applied;
    int previousOffset = 0;
    renderSplit(
        list, 4096,
        [&](const Change& c) {
            EXPECT_EQ(static_cast<int>(c.value / 1e6), c.id) << "a value reached another parameter";
            applied[c.id] = c.value;
        },
        [&](int start, int frames) {
            EXPECT_EQ(start, previousOffset);
            previousOffset = start + frames;
        });
    EXPECT_EQ(previousOffset, 4096);
    EXPECT_EQ(applied, last);
}

INSTANTIATE_TEST_SUITE_P(ChangeList, Flood, ::testing::ValuesIn(kFloods),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace halvorine::common
