// Parameters and the program bank, through the record's entry points and
// the dispatcher.
#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/plugin_host.h"

using namespace halvorine::test;

namespace {

const float kInitial[10] = {0, 1, 0.5f, 0, 1, 0.5f, 0.5f, 0.5f, 0.75f, 0};

class Effect : public ::testing::Test {
protected:
    void SetUp() override { e = host.loadOrFail(); }
    float get(VstInt32 i) { return e->getParameter(e, i); }
    void set(VstInt32 i, float v) { e->setParameter(e, i, v); }
    void select(VstInt32 p) { host.dispatch(e, effSetProgram, 0, p); }
    TestHost host;
    AEffect* e = nullptr;
};

}  // namespace

TEST_F(Effect, ParametersStartAtTheirInitialValues) {
    for (int i = 0; i < 10; ++i) EXPECT_EQ(get(i), kInitial[i]) << i;
}

TEST_F(Effect, ValuesAreClampedIntoRange) {
    set(2, 1.7f);
    EXPECT_EQ(get(2), 1.0f);
    set(0, -0.3f);
    EXPECT_EQ(get(0), 0.0f);
    set(1, NAN);
    EXPECT_EQ(get(1), 0.0f);
    set(3, INFINITY);
    EXPECT_EQ(get(3), 1.0f);
    set(4, -INFINITY);
    EXPECT_EQ(get(4), 0.0f);
    set(9, 0.3f);
    EXPECT_EQ(get(9), 0.3f);  // unnamed but stored and reported
}

TEST_F(Effect, IndicesOutsideTheSlotsAreHarmless) {
    set(10, 0.9f);  // internal slot: stored, never reported
    EXPECT_EQ(get(10), 0.0f);
    for (VstInt32 bad : {11, 25, 1000, -1, -1000}) {
        set(bad, 0.9f);
        EXPECT_EQ(get(bad), 0.0f) << bad;
    }
    for (int i = 0; i < 10; ++i) EXPECT_EQ(get(i), kInitial[i]) << i;
}

TEST_F(Effect, ParameterTexts) {
    const char* names[] = {"Mod Start Freq", "Mod Finish Freq", "Mod Freq Q",
                           "Carr Start Freq", "Carr Finish Freq", "Carr Freq Q",
                           "Shift", "Mix", "Boost"};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(host.text(e, effGetParamName, i), names[i]);
    const std::string untouched = host.text(e, effGetParamName, 9);
    EXPECT_EQ(untouched, std::string(255, '\x7F'));
    EXPECT_EQ(host.text(e, effGetParamName, -1), untouched);
    EXPECT_EQ(host.text(e, effGetParamName, 10), untouched);
    for (int i : {0, 5, 9, 12}) EXPECT_EQ(host.text(e, effGetParamLabel, i), "") << i;
}

// The display shows the editor readout's value text; text in a unit comes
// back as the value.
TEST_F(Effect, DisplayTextsAndTextsBackToValues) {
    const struct {
        int slot;
        float value;
        const char* display;
    } shown[] = {
        {0, 0.0f, "20Hz"},   {1, 0.5f, "640Hz"},  {4, 1.0f, "20.5KHz"}, {2, 0.1234f, "12.3%"},
        {5, 1.0f, "100%"},   {6, 0.3f, "18"},     {7, 0.25f, "50%/100"}, {7, 0.75f, "100%/50"},
        {8, 0.0f, "-20dB"},  {8, 0.5f, "0dB"},    {8, 0.75f, "10dB"},    {9, 0.7f, ""},
    };
    for (const auto& s : shown) {
        set(s.slot, s.value);
        EXPECT_EQ(host.text(e, effGetParamDisplay, s.slot), s.display) << s.slot;
    }
    for (int i : {-1, 10, 25}) EXPECT_EQ(host.text(e, effGetParamDisplay, i), "") << i;

    const struct {
        int slot;
        const char* text;
        float value;  // -1: refused; -2: read (its display is checked below)
    } read[] = {
        {0, "640Hz", 0.5f},    {3, "640 Hz", 0.5f},  {1, "20480", -2},     {4, "1.2KHz", -2},
        {4, "1.2kHz", -2},     {0, "5 Hz", 0.0f},    {2, "12.3%", -2},     {5, "12.3", -2},
        {2, "50%", 0.5f},      {5, "250%", 1.0f},    {6, "19", -2},        {6, "19 bands", -2},
        {7, "100%/50", 0.75f}, {7, "50%/100", 0.25f}, {7, "100%/100", 0.5f}, {8, "+6dB", -2},
        {8, "6 dB", -2},       {8, "6", -2},         {8, "-20dB", -2},     {8, "-30dB", 0.0f},
        {8, "+30dB", 1.0f},    {0, "", -1},          {0, "Hz", -1},        {0, "640Hzz", -1},
        {0, "nan", -1},        {0, "inf", -1},       {0, "0x10", -1},      {0, "1e3", -1},
        {2, "12.3dB", -1},     {7, "50%/50", -1},    {7, "50", -1},        {8, "6 d B", -1},
        {9, "0.5", -1},        {10, "0.5", -1},      {-1, "0.5", -1},      {1, "1.2.3", -1},
        {2, "1.000000000000000000001", -1}, {2, "0.100000000000000000000", 0.001f},
    };
    for (const auto& r : read) {
        set(r.slot, 0.123f);
        char text[32];
        std::strcpy(text, r.text);
        const VstIntPtr answer = host.dispatch(e, effString2Parameter, r.slot, 0, text);
        EXPECT_EQ(answer, r.value == -1 ? 0 : 1) << r.slot << " " << r.text;
        if (r.value == -1) {
            EXPECT_EQ(get(r.slot), r.slot >= 0 && r.slot < 10 ? 0.123f : 0.0f) << r.text;
        } else if (r.value >= 0) {
            EXPECT_EQ(get(r.slot), r.value) << r.slot << " " << r.text;
        }
    }
    // Units as written: the display of what was read.
    const struct {
        int slot;
        const char* text;
        const char* display;
    } units[] = {
        {1, "20480", "20.5KHz"}, {4, "1.2kHz", "1.2KHz"}, {5, "12.3", "12.3%"}, {6, "19 bands", "19"},
        {8, "+6dB", "6dB"},      {8, "6", "6dB"},      {8, "-20dB", "-20dB"},
    };
    for (const auto& u : units) {
        char text[32];
        std::strcpy(text, u.text);
        ASSERT_EQ(host.dispatch(e, effString2Parameter, u.slot, 0, text), 1) << u.text;
        EXPECT_EQ(host.text(e, effGetParamDisplay, u.slot), u.display) << u.text;
    }
    EXPECT_GT(get(8), 0.0f);  // -20 dB, not the silence below it
    EXPECT_EQ(host.dispatch(e, effString2Parameter, 0, 0, nullptr), 0);
}

TEST_F(Effect, ProgramsHaveNamesAndTheConstructionValues) {
    EXPECT_EQ(host.dispatch(e, effGetProgram), 7);
    EXPECT_EQ(host.text(e, effGetProgramName), "Preset 7");
    for (int p = 0; p < 8; ++p) {
        char name[64];
        EXPECT_EQ(host.dispatch(e, effGetProgramNameIndexed, p, 99, name), 1);  // category ignored
        EXPECT_EQ(host.text(e, effGetProgramNameIndexed, p, 5), "Preset " + std::to_string(p));
        select(p);
        for (int i = 0; i < 10; ++i) EXPECT_EQ(get(i), kInitial[i]);
    }
    const std::string untouched(255, '\x7F');
    char buffer[256];
    for (int bad : {8, -1}) {
        std::memset(buffer, 0x7F, sizeof buffer);
        buffer[255] = 0;
        EXPECT_EQ(host.dispatch(e, effGetProgramNameIndexed, bad, 0, buffer), 0);
        EXPECT_EQ(std::string(buffer), untouched);
    }
}

TEST_F(Effect, ChangesStickToTheirProgram) {
    select(3);
    set(7, 0.2f);
    select(5);
    EXPECT_EQ(get(7), 0.5f);
    set(8, 1.5f);  // reaches the program clamped
    select(3);
    EXPECT_EQ(get(7), 0.2f);
    EXPECT_EQ(get(8), 0.75f);
    select(5);
    EXPECT_EQ(get(8), 1.0f);
    set(8, -0.5f);
    select(0);
    select(5);
    EXPECT_EQ(get(8), 0.0f);
}

TEST_F(Effect, EveryProgramSwitchAsksForTimeAndReappliesValues) {
    select(4);
    set(6, 0.1f);
    host.clearRequests();
    select(4);  // already current: applied all the same
    EXPECT_EQ(host.opcodes(), std::vector<VstInt32>{audioMasterGetTime});
    EXPECT_EQ(get(6), 0.1f);
}

TEST_F(Effect, RenamingTouchesOnlyTheCurrentProgram) {
    select(2);
    host.dispatch(e, effSetProgramName, 0, 0, const_cast<char*>("Deep"));
    EXPECT_EQ(host.text(e, effGetProgramName), "Deep");
    select(6);
    EXPECT_EQ(host.text(e, effGetProgramName), "Preset 6");
    select(2);
    EXPECT_EQ(host.text(e, effGetProgramName), "Deep");
    EXPECT_EQ(host.text(e, effGetProgramNameIndexed, 2), "Deep");
    host.clearRequests();
    host.dispatch(e, effSetProgramName, 0, 0, const_cast<char*>(""));
    EXPECT_EQ(host.text(e, effGetProgramName), "");
    EXPECT_TRUE(host.requests().empty());  // the host is not told
}

TEST_F(Effect, LongNamesFitTheHostsTwentyFourByteBuffers) {
    std::string longName(300, 'L');
    longName[22] = 'x';
    host.dispatch(e, effSetProgramName, 0, 0, longName.data());
    for (VstInt32 opcode : {VstInt32{effGetProgramName}, VstInt32{effGetProgramNameIndexed}}) {
        char buffer[32];
        std::memset(buffer, 0x7F, sizeof buffer);
        host.dispatch(e, opcode, 7, 0, buffer);
        EXPECT_EQ(std::string(buffer), longName.substr(0, 23)) << opcode;
        EXPECT_EQ(buffer[24], '\x7F') << opcode;  // nothing written past the 24 bytes
    }
    // The neighbouring programs' names are intact.
    EXPECT_EQ(host.text(e, effGetProgramNameIndexed, 6), "Preset 6");
    EXPECT_EQ(host.text(e, effGetProgramNameIndexed, 0), "Preset 0");
}
