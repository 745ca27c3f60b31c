// Parameters and programs changed on other threads while blocks are
// processed. Run under ThreadSanitizer this proves there is no data race;
// in every build it checks that the output stays sane and that changes made
// between blocks are exact.
#include <atomic>
#include <cmath>
#include <random>
#include <string>
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

// Program switches from other threads: the audio thread sees a switch whole,
// two threads switching against each other never write one program's values
// into the other, and names read while renamed never tear.
TEST(Threads, ProgramSwitchesArriveWholeAndNeverCrossPrograms) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    const auto program = [&](VstInt32 p, float mix, float boost) {
        host.dispatch(e, effSetProgram, 0, p);
        e->setParameter(e, 7, mix);
        e->setParameter(e, 8, boost);
    };
    // Half-way from 3 to 5 (the mix switched, the boost not yet) the output
    // is exactly silent; either program alone is not.
    program(3, 0.0f, 0.0f);
    program(5, 0.5f, 1.0f);
    std::atomic<bool> done{false};
    const auto switcher = [&](VstInt32 target) {
        return std::thread([&, target] {
            for (int i = 0; i < 20000; ++i) e->dispatcher(e, effSetProgram, 0, i % 2 ? target : 4, nullptr, 0.0f);
        });
    };
    std::thread to3 = switcher(3), to5 = switcher(5);
    std::thread names([&] {
        std::string a(60, 'a'), b(60, 'b');
        char got[64];
        for (int i = 0; i < 20000; ++i) {
            e->dispatcher(e, effSetProgramName, 0, 0, (i % 2 ? a : b).data(), 0.0f);
            const int p = 3 + i % 3;  // the switchers make 3, 4 and 5 current
            e->dispatcher(e, effGetProgramNameIndexed, p, 0, got, 0.0f);
            const std::string name(got);
            if (name != std::string(23, 'a') && name != std::string(23, 'b') &&
                name != "Preset " + std::to_string(p)) {
                ADD_FAILURE() << "torn name " << name;
                break;
            }
        }
        done = true;
    });
    std::vector<float> m(16, 0.5f), c(16, 0.25f), o0(16), o1(16);
    int halfSwitched = 0;
    while (!done) {
        processBlock(e, m.data(), c.data(), o0.data(), o1.data(), 16);
        if (o0[0] == 0.0f) ++halfSwitched;
    }
    to3.join();
    to5.join();
    names.join();
    EXPECT_EQ(halfSwitched, 0);
    host.dispatch(e, effSetProgram, 0, 3);
    EXPECT_EQ(e->getParameter(e, 7), 0.0f);
    EXPECT_EQ(e->getParameter(e, 8), 0.0f);
    host.dispatch(e, effSetProgram, 0, 5);
    EXPECT_EQ(e->getParameter(e, 7), 0.5f);
    EXPECT_EQ(e->getParameter(e, 8), 1.0f);
    host.dispatch(e, effSetProgram, 0, 4);
    EXPECT_EQ(e->getParameter(e, 8), 0.75f);
}

// A parameter change racing a program switch: once both calls have
// returned, the engine plays what the current program holds. Mix 0 passes
// the modulator and mix 1 the carrier, so one frame tells which the engine
// has, whatever its filters hold: at 100 Hz a change glides over one frame.
TEST(Threads, AParameterChangeRacingAProgramSwitchLeavesTheProgramAndTheSoundAgreeing) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    host.dispatch(e, effSetSampleRate, 0, 0, nullptr, 100.0f);
    std::atomic<int> round{-1};
    std::atomic<int> finished{0};
    constexpr int kRounds = 20000;
    const auto racer = [&](auto call) {
        return std::thread([&, call] {
            for (int r = 0; r < kRounds; ++r) {
                while (round.load(std::memory_order_acquire) != r) std::this_thread::yield();
                call();
                finished.fetch_add(1, std::memory_order_acq_rel);
            }
        });
    };
    std::thread automate = racer([&] { e->setParameter(e, 7, 1.0f); });
    std::thread switcher = racer([&] { e->dispatcher(e, effSetProgram, 0, 2, nullptr, 0.0f); });
    float m = 0.5f, c = 0.25f, o0 = 0.0f, o1 = 0.0f;
    int disagreements = 0;
    for (int r = 0; r < kRounds; ++r) {
        for (VstInt32 p : {2, 1}) {
            host.dispatch(e, effSetProgram, 0, p);
            e->setParameter(e, 7, 0.0f);
        }
        finished = 0;
        round.store(r, std::memory_order_release);
        while (finished.load(std::memory_order_acquire) != 2) std::this_thread::yield();
        processBlock(e, &m, &c, &o0, &o1, 1);
        const float played = o0 == c ? 1.0f : 0.0f;
        if (played != e->getParameter(e, 7)) ++disagreements;
    }
    automate.join();
    switcher.join();
    EXPECT_EQ(disagreements, 0);
}
