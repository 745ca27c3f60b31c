// Everything the host refuses: one line on stderr, status 1 (2 for what the
// command line got wrong), and no output file left behind - an existing one
// stays as it was.
#include "host_test_support.h"

#include <fstream>

namespace halvorine::host::test {
namespace {

class HostFailure : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        writeAudio(file("mono.wav"), 1, 44100, testSignal(500, 1));
        writeAudio(file("mono48k.wav"), 1, 48000, testSignal(500, 2));
        writeAudio(file("stereo.wav"), 2, 44100, testSignal(1000, 3));
        std::ofstream(file("notes.txt")) << "not audio at all\n";
        std::ofstream(file("fake.so")) << "not a library\n";
    }

    void expectRefused(const std::vector<std::string>& args, const std::string& mentions,
                       const RunOptions& options = {}, int status = 1) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const auto before = folderContents();
        const RunResult r = runHost(args, options);
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(mentions), std::string::npos) << r.err;
        EXPECT_EQ(folderContents(), before) << "a failed render must leave nothing behind";
    }

    std::vector<std::string> render(const std::string& mod, const std::string& car,
                                     const std::string& plugin, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"render", "-m", file(mod), "-c", file(car),
                                         "-o", file("out.wav"), "--plugin", plugin};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
};

TEST_F(HostFailure, BadInputFiles) {
    expectRefused(render("missing.wav", "mono.wav", stubPlugin()), "modulator");
    expectRefused(render("mono.wav", "notes.txt", stubPlugin()), "cannot read carrier");
    expectRefused(render("stereo.wav", "mono.wav", stubPlugin()), "mono");
    expectRefused({"render", file("mono.wav"), "-o", file("out.wav"), "--plugin", stubPlugin()},
                  "needs two");
    expectRefused(render("mono.wav", "mono48k.wav", stubPlugin()), "44100 Hz");
    expectRefused(render("mono.wav", "mono48k.wav", stubPlugin()), "48000 Hz");
    expectRefused({"render", file("stereo.wav"), "-o", file("no/such/folder/out.wav"), "--plugin",
                   stubPlugin()},
                  "does not exist");
}

// Names, indexes and texts the effect does not know are wrong usage.
TEST_F(HostFailure, ParametersProgramsAndValuesTheEffectDoesNotHave) {
    const struct {
        std::vector<std::string> options;
        std::string mentions;
    } cases[] = {
        {{"--set", "Volume=0.5"}, "the parameters are 'Level', 'Tone'"},
        {{"--set", "3=0.5"}, "0..2"},
        {{"--program", "3"}, "0..2 ('Unity', 'Half', 'Quiet')"},
        {{"--program", "Loud"}, "unknown program 'Loud'"},
        {{"--set", "Level=6dB"}, "shows Level from '0%' to '100%' (now '100%')"},
        {{"--set", "Tone=5000Hz"}, "from '100Hz' to '1000Hz' (now '550Hz')"},
        {{"--set", "2=1x"}, "shows no units"},
    };
    for (const auto& c : cases) {
        expectRefused(render("mono.wav", "mono.wav", stubPlugin(), c.options), c.mentions, {}, 2);
    }
}

TEST_F(HostFailure, LibrariesThatAreNotUsableEffects) {
    expectRefused(render("mono.wav", "mono.wav", file("absent.so")), "no plug-in at");
    expectRefused(render("mono.wav", "mono.wav", file("fake.so")), "cannot load");
    expectRefused(render("mono.wav", "mono.wav", noMainPlugin()), "no 'main'");
    const auto mode = [](const char* name) {
        RunOptions options;
        options.env = {{"HALVORINE_STUB_MODE", name}};
        return options;
    };
    expectRefused(render("mono.wav", "mono.wav", stubPlugin()), "returned no effect", mode("refuse"));
    expectRefused(render("mono.wav", "mono.wav", stubPlugin()), "magic", mode("wrong-magic"));
    expectRefused(render("mono.wav", "mono.wav", stubPlugin()), "1 input(s)", mode("one-input"));
    expectRefused(render("mono.wav", "mono.wav", stubPlugin()), "1 output(s)", mode("one-output"));
    expectRefused({"info", "--plugin", stubPlugin()}, "magic", mode("wrong-magic"));
}

TEST_F(HostFailure, ExistingOutputIsReplacedOnlyBySuccess) {
    std::ofstream(file("out.wav")) << "previous render";
    expectRefused(render("mono.wav", "mono.wav", stubPlugin(), {"--set", "Volume=1"}), "Volume", {}, 2);
    EXPECT_EQ(readText(file("out.wav")), "previous render");

    ASSERT_EQ(runHost(render("mono.wav", "mono.wav", stubPlugin(), {"--quiet"})).status, 0);
    EXPECT_EQ(readAudio(file("out.wav")).frames(), 500u);
    EXPECT_EQ(folderContents().size(), 6u) << "no temporary left beside the output";
}

}  // namespace
}  // namespace halvorine::host::test
