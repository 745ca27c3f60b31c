// Parameters and programs changed on other threads while blocks are
// processed. Run under ThreadSanitizer this proves there is no data race;
// in every build it checks that the output stays sane and that changes made
// between blocks are exact.
#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "reference/reference_effect.h"
#include "support/plugin_host.h"

using namespace halvorine::test;

TEST(Threads, AutomationAndProgramSwitchesWhileProcessing) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    std::atomic<bool> done{false};

    std::thread automation([&] {
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> v(0.0f, 1.0f);
        char name[80];
        for (int i = 0; i < 3000; ++i) {
            e->setParameter(e, i % 10, v(rng));
            if (i % 50 == 0) e->dispatcher(e, effSetProgram, 0, (i / 50) % 8, nullptr, 0.0f);
            if (i % 97 == 0) e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, i % 2 ? 48000.0f : 44100.0f);
            e->getParameter(e, i % 10);
            e->dispatcher(e, effGetProgramNameIndexed, i % 8, 0, name, 0.0f);
        }
        done = true;
    });

    std::vector<float> m(256), c(256), o0(256), o1(256);
    for (int k = 0; k < 256; ++k) {
        m[k] = std::sin(k * 0.1f);
        c[k] = std::sin(k * 0.037f);
    }
    int blocks = 0;
    while (!done || blocks < 50) {
        processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 256);
        for (int k = 0; k < 256; ++k) {
            ASSERT_TRUE(std::isfinite(o0[k]));
            ASSERT_EQ(bitsOf(o0[k]), bitsOf(o1[k]));
        }
        ++blocks;
    }
    automation.join();
}

TEST(Threads, AChangeMadeBetweenBlocksOnAnotherThreadIsInForceForTheNextFrame) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    halvorine::reference::ReferenceEffect ref;
    std::vector<float> m(128), c(128), o0(128), o1(128), r0(128), r1(128);
    for (int k = 0; k < 128; ++k) {
        m[k] = std::sin(k * 0.3f);
        c[k] = std::cos(k * 0.11f);
    }
    for (int round = 0; round < 40; ++round) {
        const float value = static_cast<float>(round % 9) / 8.0f;
        std::thread([&] { e->setParameter(e, round % 9, value); }).join();
        ref.setParameter(round % 9, value);
        processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 128);
        ref.processReplacing(m.data(), c.data(), r0.data(), r1.data(), 128);
        for (int k = 0; k < 128; ++k) ASSERT_EQ(bitsOf(o0[k]), bitsOf(r0[k])) << round << " " << k;
    }
}
