// What `info` reports.
#include "host_test_support.h"

namespace halvorine::host::test {
namespace {

void expectLines(const std::string& text, const std::vector<std::string>& wanted) {
    for (const std::string& line : wanted) {
        EXPECT_NE(text.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << text;
    }
}

TEST(HostInfo, DescribesTheStandIn) {
    const RunResult r = runHost({"info", "--plugin", stubPlugin()});
    ASSERT_EQ(r.status, 0) << r.err;
    expectLines(r.out, {
        "Effect name     Stub\n",
        "Vendor          Halvorine tests\n",
        "Product         Stub effect\n",
        "Vendor version  3\n",
        "Unique ID       'hStb' (0x68537462)\n",
        "VST version     2400\n",
        "Inputs          2\n",
        "Flags           0x18: CanMono CanReplacing\n",
        "Parameters (3)",
        // The value texts and ranges come from the effect's own display.
        "      0  Level                       1.000000  100%       0% .. 100%\n",
        "      1  Tone               %        0.500000  550Hz      100Hz .. 1000Hz\n",
        "      2  (no name)                   0.000000\n",
        "Programs (3, current 0)",
        "      1  Half",
        "  receiveVstEvents     yes (1)",
        "  receiveVstMidiEvent  no (-1)",
        "  receiveVstTimeInfo   don't know (0)",
    });
}

TEST(HostInfo, DescribesHalvorine) {
    if (realPlugin().empty()) GTEST_SKIP() << "the plug-in is not part of this build";
    // Without --plugin the host loads the halvorine.so beside itself,
    // whatever the current folder.
    const RunResult r = runHost({"info"});
    ASSERT_EQ(r.status, 0) << r.err;
    expectLines(r.out, {
        "Plug-in         " + realPlugin() + "\n",
        "Effect name     Halvorine\n",
        "Vendor          Brindlex\n",
        "Product         Halvorine\n",
        "Vendor version  1\n",
        "Unique ID       'zQvk' (0x7A51766B)\n",
        "VST version     2200\n",
        "Inputs          2\n",
        "Outputs         2\n",
        "Flags           0x19: HasEditor CanMono CanReplacing\n",
        "Parameters (10)",
        "      7  Mix                         0.500000",
        "      8  Boost                       0.750000",
        "      9  (no name)",
        "Programs (8, current 7)",
        "      0  Preset 0",
        "      7  Preset 7",
        "Factory presets (24, for --preset)\n  Band Vocoder     Voice into chords, the bands lined up",
        "  Tilted Formants  The carrier's bands an octave above",
        "  receiveVstEvents     yes (1)",
        "  receiveVstMidiEvent  yes (1)",
        "  receiveVstTimeInfo   yes (1)",
    });
}

}  // namespace
}  // namespace halvorine::host::test
