// The command line alone: wrong usage ends with status 2 and one line.
#include "halvorine_version.h"
#include "host_test_support.h"

namespace halvorine::host::test {
namespace {

struct UsageCase {
    std::vector<std::string> args;
    std::string mentions;
};

TEST(HostUsage, WrongCommandLinesExitTwoWithOneLine) {
    const std::vector<UsageCase> cases = {
        {{}, "missing command"},
        {{"play"}, "unknown command 'play'"},
        {{"render", "--volume", "3", "in.wav", "-o", "o.wav"}, "unknown option '--volume'"},
        {{"info", "extra"}, "unexpected argument 'extra'"},
        {{"render", "in.wav"}, "-o OUT"},
        {{"render", "-o", "o.wav"}, "-m MODULATOR"},
        {{"render", "-m", "m.wav", "-o", "o.wav"}, "-c CARRIER"},
        {{"render", "-o", "o.wav", "--notes", "A3"}, "needs the modulator"},
        {{"render", "-m", "m.wav", "-o", "o.wav", "--notes", "A3 H4"}, "'H4' is no pitch"},
        {{"render", "-m", "m.wav", "-o", "o.wav", "--notes", "G#9"}, "'G#9' is no pitch"},
        {{"render", "-m", "m.wav", "-o", "o.wav", "--notes", " , "}, "at least one note"},
        {{"render", "in.wav", "-m", "m.wav", "-c", "c.wav", "-o", "o.wav"}, "not both"},
        {{"render", "in.wav", "-o"}, "'-o' needs a value"},
        {{"render", "in.wav", "-o", "o.wav", "--block", "0"}, "--block"},
        {{"render", "in.wav", "-o", "o.wav", "--block", "12x"}, "--block"},
        {{"render", "in.wav", "-o", "o.wav", "--format", "mp3"}, "--format"},
        {{"render", "in.wav", "-o", "o.wav", "--program="}, "--program"},
        {{"render", "in.wav", "-o", "o.wav", "--preset="}, "--preset needs a preset name"},
        {{"render", "in.wav", "-o", "o.wav", "--preset", "Loud"}, "unknown preset 'Loud'; the presets are 'Band Vocoder', "},
        {{"render", "-m", "-", "-c", "-", "-o", "o.wav"}, "one input only"},
        {{"render", "in.wav", "-o", "-"}, "not to standard output"},
        {{"render", "in.wav", "-o", "o.wav", "--set", "Mix"}, "NAME=VALUE"},
        {{"render", "in.wav", "-o", "o.wav", "--set", "Mix=1.5"}, "from 0 to 1"},
        {{"render", "in.wav", "-o", "o.wav", "--set", "Mix=-0.1"}, "from 0 to 1"},
        {{"render", "in.wav", "-o", "o.wav", "--set=Mix="}, "from 0 to 1"},
        {{"render", "in.wav", "-o", "o.wav", "--set", "Mix=nan"}, "from 0 to 1"},
        {{"render", "in.wav", "-o", "out.nosuchtype"}, "no file type with the extension .nosuchtype"},
        {{"render", "in.wav", "-o", "o.flac", "--format", "float"}, "cannot hold float samples; it takes pcm8, pcm16 or pcm24"},
        {{"render", "in.wav", "-o", "o.wav", "--format", "Vorbis"}, "cannot hold vorbis"},
        {{"demo", "--quiet=yes"}, "takes no value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const RunResult r = runHost(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(HostUsage, HelpAndVersionGoToStdoutAndSucceed) {
    const struct {
        std::vector<std::string> args;
        std::string mentions;
    } cases[] = {
        {{"--help"}, "1 to 65536"},
        {{"help", "render"}, "usage"},
        {{"help", "help"}, "usage: halvorine-host help"},
        {{"render", "--help", "--plugin", stubPlugin()}, "  1  Half\n"},
        {{"--version"}, std::string("halvorine-host ") + kProductVersion + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const RunResult r = runHost(c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(c.mentions), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");
    }
}

}  // namespace
}  // namespace halvorine::host::test
