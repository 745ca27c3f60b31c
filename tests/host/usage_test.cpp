// The command line alone: wrong usage ends with status 2 and one line.
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
        {{"render", "in.wav", "-m", "m.wav", "-c", "c.wav", "-o", "o.wav"}, "not both"},
        {{"render", "in.wav", "-o"}, "'-o' needs a value"},
        {{"render", "in.wav", "-o", "o.wav", "--block", "0"}, "--block"},
        {{"render", "in.wav", "-o", "o.wav", "--block", "12x"}, "--block"},
        {{"render", "in.wav", "-o", "o.wav", "--format", "mp3"}, "--format"},
        {{"render", "in.wav", "-o", "o.wav", "--program", "two"}, "--program"},
        {{"render", "in.wav", "-o", "o.wav", "--set", "Mix"}, "NAME=VALUE"},
        {{"render", "in.wav", "-o", "o.wav", "--set", "Mix=1.5"}, "from 0 to 1"},
        {{"render", "in.wav", "-o", "o.wav", "--set", "Mix=-0.1"}, "from 0 to 1"},
        {{"render", "in.wav", "-o", "o.wav", "--set=Mix=half"}, "from 0 to 1"},
        {{"render", "in.wav", "-o", "o.wav", "--set", "Mix=nan"}, "from 0 to 1"},
        {{"render", "in.wav", "-o", "out.nosuchtype"}, "file type"},
        {{"render", "in.wav", "-o", "o.flac", "--format", "float"}, "cannot hold float"},
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

TEST(HostUsage, HelpGoesToStdoutAndSucceeds) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"help", "render"}, {"render", "--help"}}) {
        const RunResult r = runHost(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("usage"), std::string::npos);
        EXPECT_EQ(r.err, "");
    }
}

}  // namespace
}  // namespace halvorine::host::test
