// The library as a host sees it: `main`, the record, the core dispatcher
// and the requests the effect sends.
#include <cstring>

#include <gtest/gtest.h>

#include "support/plugin_host.h"

using namespace halvorine::test;

namespace {

template <typename T>
T fieldAt(const AEffect* e, std::size_t offset) {
    T v;
    std::memcpy(&v, reinterpret_cast<const char*>(e) + offset, sizeof v);
    return v;
}

}  // namespace

TEST(Entry, RefusesAHostThatAnswersZeroToTheVersionProbe) {
    TestHost host;
    host.answer = [](const HostRequest&) -> VstIntPtr { return 0; };
    EXPECT_EQ(host.load(), nullptr);
    const auto requests = host.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].effect, nullptr);
    EXPECT_EQ(requests[0].opcode, audioMasterVersion);
    EXPECT_EQ(requests[0].index, 0);
    EXPECT_EQ(requests[0].value, 0);
    EXPECT_EQ(requests[0].ptr, nullptr);
    EXPECT_EQ(requests[0].opt, 0.0f);
}

TEST(Entry, RefusesANullCallback) { EXPECT_EQ(PluginLibrary::entry()(nullptr), nullptr); }

TEST(Entry, ConstructionAsksTheHostInOrder) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    const auto requests = host.requests();
    std::vector<VstInt32> expected = {audioMasterVersion, audioMasterGetSampleRate};
    expected.insert(expected.end(), 8, audioMasterGetTime);  // one per program applied
    EXPECT_EQ(host.opcodes(), expected);
    EXPECT_EQ(requests[0].effect, nullptr);
    for (std::size_t i = 1; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].effect, e);
        EXPECT_EQ(requests[i].value, 0);  // the time request's filter is 0
    }
}

TEST(Entry, PublishesTheRecord) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 8);
    EXPECT_EQ(e->numParams, 10);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, effFlagsHasEditor | effFlagsCanMono | effFlagsCanReplacing);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_NE(e->object, nullptr);
    EXPECT_EQ(e->user, nullptr);
    EXPECT_EQ(e->uniqueID, 0x7A51766B);
    EXPECT_EQ(e->version, 1);
    EXPECT_NE(e->processReplacing, nullptr);
    const char* future = reinterpret_cast<const char*>(e) + offsetof(AEffect, processReplacing) +
                         sizeof(void*);
    const char* end = reinterpret_cast<const char*>(e) + sizeof(AEffect);
    for (const char* p = future; p < end; ++p) EXPECT_EQ(*p, 0) << "byte " << (p - future);

    if (sizeof(void*) == 4) {
        // The exact 32-bit layout hosts read.
        EXPECT_EQ(sizeof(AEffect), 144u);
        const VstInt32 ints[] = {8, 10, 2, 2, 0x19, 0, 0, 0, 0, 0};
        for (int i = 0; i < 10; ++i) EXPECT_EQ(fieldAt<VstInt32>(e, 20 + 4 * i), ints[i]);
        EXPECT_EQ(fieldAt<float>(e, 60), 1.0f);
        EXPECT_EQ(fieldAt<void*>(e, 64), e->object);
        EXPECT_EQ(fieldAt<VstInt32>(e, 72), 0x7A51766B);
        EXPECT_EQ(fieldAt<VstInt32>(e, 76), 1);
    } else {
        EXPECT_EQ(sizeof(AEffect), 192u);
    }
}

TEST(Entry, InstancesAreIndependent) {
    TestHost host;
    AEffect* a = host.loadOrFail();
    AEffect* b = host.loadOrFail();
    ASSERT_NE(a, b);
    EXPECT_NE(a->object, b->object);
    a->setParameter(a, 7, 0.25f);
    EXPECT_EQ(b->getParameter(b, 7), 0.5f);
    EXPECT_EQ(host.close(a), 1);  // the entry answers 1 for effClose
    EXPECT_EQ(b->getParameter(b, 7), 0.5f);
    EXPECT_EQ(host.dispatch(b, effGetProgram), 7);
}

TEST(CoreDispatcher, AnswersOfTheCoreOpcodes) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    EXPECT_EQ(host.dispatch(e, effIdentify), 0x4E764566);
    EXPECT_EQ(host.dispatch(e, effGetVu), 0);
    EXPECT_EQ(host.dispatch(e, effGetChunk), 0);
    EXPECT_EQ(host.dispatch(e, effSetChunk, 0, 16, nullptr), 0);
    EXPECT_EQ(host.dispatch(e, effOpen), 0);
    EXPECT_EQ(host.dispatch(e, effSetBlockSize, 0, 256), 0);
    host.clearRequests();
    for (VstInt32 op : {16, 17, 18, 20, 21, 69, 1000, -1, -100})
        EXPECT_EQ(host.dispatch(e, op, 3, 4, nullptr, 5.0f), 0) << op;
    EXPECT_TRUE(host.requests().empty());
}

TEST(CoreDispatcher, SwitchingOnAsksForEventsOnce) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    host.clearRequests();
    host.dispatch(e, effMainsChanged, 0, 0);
    EXPECT_TRUE(host.requests().empty());
    host.dispatch(e, effMainsChanged, 0, 1);
    const auto requests = host.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].opcode, audioMasterWantMidi);
    EXPECT_EQ(requests[0].value, 1);
    EXPECT_EQ(requests[0].effect, e);
}

TEST(CoreDispatcher, ProgramRequestsAreRangeChecked) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    EXPECT_EQ(host.dispatch(e, effGetProgram), 7);
    host.clearRequests();
    host.dispatch(e, effSetProgram, 0, 8);  // beyond the bank: never reaches the effect
    EXPECT_TRUE(host.requests().empty());
    EXPECT_EQ(host.dispatch(e, effGetProgram), 7);
    host.dispatch(e, effSetProgram, 0, -1);  // passes the check; the effect ignores it
    EXPECT_EQ(host.opcodes(), std::vector<VstInt32>{audioMasterGetTime});
    EXPECT_EQ(host.dispatch(e, effGetProgram), 7);
    if constexpr (sizeof(VstIntPtr) == 8) {
        // Negative beyond 32 bits, with 3 in the low half: still no program.
        host.dispatch(e, effSetProgram, 0, static_cast<VstIntPtr>(-(std::int64_t{1} << 32) + 3));
        EXPECT_EQ(host.dispatch(e, effGetProgram), 7);
    }
    host.dispatch(e, effSetProgram, 0, 2);
    EXPECT_EQ(host.dispatch(e, effGetProgram), 2);
}

TEST(CoreDispatcher, ConstructionTakesTheRateTheHostSetsWhileAsked) {
    TestHost host;
    host.answer = [&host](const HostRequest& r) -> VstIntPtr {
        if (r.opcode == audioMasterGetSampleRate)
            r.effect->dispatcher(r.effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        return r.opcode == audioMasterVersion ? 2400 : 0;
    };
    AEffect* e = host.loadOrFail();
    // Same sound as an instance told 48 kHz after construction.
    TestHost other;
    AEffect* f = other.loadOrFail();
    other.dispatch(f, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    float in0[64], in1[64], a[64], b[64], c[64], d[64];
    for (int i = 0; i < 64; ++i) {
        in0[i] = (i % 7) * 0.1f - 0.3f;
        in1[i] = (i % 5) * 0.2f - 0.4f;
    }
    processBlock(e, in0, in1, a, b, 64);
    processBlock(f, in0, in1, c, d, 64);
    EXPECT_EQ(0, std::memcmp(a, c, sizeof a));
}
