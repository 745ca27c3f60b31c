// The VST 2 answers: names, capabilities, pins and the defaults of every
// other extended opcode.
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "support/plugin_host.h"

using namespace halvorine::test;

TEST(Vst2, NamesAndVersions) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    EXPECT_EQ(host.text(e, effGetEffectName), "Halvorine");
    EXPECT_EQ(host.text(e, effGetProductString), "Halvorine");
    EXPECT_EQ(host.text(e, effGetVendorString), "Brindlex");
    EXPECT_EQ(host.dispatch(e, effGetEffectName, 0, 0, std::string(64, 'x').data()), 1);
    EXPECT_EQ(host.dispatch(e, effGetVendorVersion), 1);
    EXPECT_EQ(host.dispatch(e, effGetVstVersion), 2200);
    EXPECT_EQ(host.dispatch(e, effGetPlugCategory), 0);
}

TEST(Vst2, CapabilitiesAreExactAndNeverZero) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo"})
        EXPECT_EQ(host.dispatch(e, effCanDo, 0, 0, const_cast<char*>(yes)), 1) << yes;
    for (const char* no : {"receivevsttimeinfo", "RECEIVEVSTEVENTS", "receiveVstEvent", "",
                           "sendVstEvents", "receiveVstTimeInfo "})
        EXPECT_EQ(host.dispatch(e, effCanDo, 0, 0, const_cast<char*>(no)), -1) << no;
}

TEST(Vst2, OutputPinsAreLabelledAndInputPinsHaveNone) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    for (int pin = 0; pin < 2; ++pin) {
        VstPinProperties props;
        std::memset(&props, 0x55, sizeof props);
        EXPECT_EQ(host.dispatch(e, effGetOutputProperties, pin, 0, &props), 1);
        EXPECT_STREQ(props.label, pin == 0 ? "Halvorine 1" : "Halvorine 2");
        EXPECT_EQ(props.flags, kVstPinIsActive | kVstPinIsStereo);
        for (unsigned char b : props.hostOwned) EXPECT_EQ(b, 0x55);  // left as passed
    }
    for (int pin : {2, 3, -1}) {
        VstPinProperties props;
        std::memset(&props, 0x55, sizeof props);
        EXPECT_EQ(host.dispatch(e, effGetOutputProperties, pin, 0, &props), 0);
        EXPECT_EQ(props.label[0], 0x55);
    }
    VstPinProperties in;
    std::memset(&in, 0x55, sizeof in);
    EXPECT_EQ(host.dispatch(e, effGetInputProperties, 0, 0, &in), 0);
    EXPECT_EQ(in.label[0], 0x55);
}

TEST(Vst2, DefaultAnswersOfTheExtendedOpcodes) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    struct { VstInt32 opcode; VstIntPtr answer; } table[] = {
        {effProcessEvents, 1},        {effCanBeAutomated, 1},      {effString2Parameter, 0},
        {effGetNumProgramCategories, 1}, {effCopyProgram, 0},      {effConnectInput, 1},
        {effConnectOutput, 1},        {effGetCurrentPosition, 0},  {effGetDestinationBuffer, 0},
        {effOfflineNotify, 0},        {effOfflinePrepare, 0},      {effOfflineRun, 0},
        {effProcessVarIo, 0},         {effSetSpeakerArrangement, 0}, {effSetBypass, 0},
        {effGetErrorText, 0},         {effVendorSpecific, 0},      {effGetTailSize, 0},
        {effIdle, 0},                 {effGetIcon, 0},             {effSetViewPosition, 0},
        {effGetParameterProperties, 0}, {effKeysRequired, 1},      {effGetMidiProgramName, 0},
        {effGetCurrentMidiProgram, -1}, {effGetMidiProgramCategory, 0},
        {effHasMidiProgramsChanged, 0}, {effGetMidiKeyName, 0},    {effBeginSetProgram, 0},
        {effEndSetProgram, 0},
    };
    char scratch[512] = {};
    host.clearRequests();
    for (auto row : table)
        EXPECT_EQ(host.dispatch(e, row.opcode, 0, 0, scratch), row.answer) << row.opcode;
    EXPECT_EQ(host.dispatch(e, effConnectInput, 5, 0), 1);
    EXPECT_EQ(host.dispatch(e, effCanBeAutomated, 42), 1);
    EXPECT_EQ(host.dispatch(e, effProcessEvents, 0, 0, nullptr), 1);  // events are not read
    EXPECT_TRUE(host.requests().empty());
}

TEST(Vst2, KeysAndKnobModeGoToTheEditorBinding) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    EXPECT_EQ(host.dispatch(e, effEditKeyDown, 'a', 65, nullptr, 2.0f), -1);  // not taken
    EXPECT_EQ(host.dispatch(e, effEditKeyUp, 'a', 65, nullptr, 2.0f), -1);
    // Any float from a host: the sanitizer builds trap an unchecked cast.
    for (float modifier : {NAN, 1e30f, -1e30f, INFINITY, 2147483648.0f})
        EXPECT_EQ(host.dispatch(e, effEditKeyDown, 'a', 65, nullptr, modifier), -1) << modifier;
    EXPECT_EQ(host.dispatch(e, effSetEditKnobMode, 0, 2), 0);
}

TEST(Vst2, BlockSizeAndSampleRateAreStoredTogether) {
    TestHost host;
    AEffect* e = host.loadOrFail();
    EXPECT_EQ(host.dispatch(e, effSetBlockSizeAndSampleRate, 0, 128, nullptr, 48000.0f), 1);
    // The design now follows the new rate: the same sound as effSetSampleRate.
    TestHost other;
    AEffect* f = other.loadOrFail();
    other.dispatch(f, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    float in0[300], in1[300], a[300], b[300], c[300], d[300];
    for (int i = 0; i < 300; ++i) {
        in0[i] = ((i * 37) % 101) / 50.0f - 1.0f;
        in1[i] = ((i * 53) % 89) / 44.0f - 1.0f;
    }
    processBlock(e, in0, in1, a, b, 300);
    processBlock(f, in0, in1, c, d, 300);
    EXPECT_EQ(0, std::memcmp(a, c, sizeof a));
}
