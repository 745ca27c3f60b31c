// Rendering through the stand-in effect: the hosting sequence, channel
// routing, padding, programs and parameters, formats.
#include "host_test_support.h"

#include <sndfile.h>

#include <cmath>

namespace halvorine::host::test {
namespace {

class HostRender : public HostTest {
protected:
    // Writes mono modulator and carrier files of the given lengths.
    void writeInputs(std::size_t modFrames, std::size_t carFrames, int rate = 44100) {
        modulator_ = testSignal(modFrames, 1);
        carrier_ = testSignal(carFrames, 2);
        writeAudio(file("m.wav"), 1, rate, modulator_);
        writeAudio(file("c.wav"), 1, rate, carrier_);
    }

    RunResult renderSplit(std::vector<std::string> extra,
                          const std::vector<std::pair<std::string, std::string>>& env = {}) {
        std::vector<std::string> args = {"render", "-m", file("m.wav"), "-c", file("c.wav"),
                                         "-o", file("out.wav"), "--plugin", stubPlugin()};
        args.insert(args.end(), extra.begin(), extra.end());
        return runHost(args, env);
    }

    std::vector<float> modulator_, carrier_;
};

TEST_F(HostRender, DrivesTheEffectLikeAHost) {
    writeInputs(1000, 1000, 48000);
    const RunResult r = renderSplit({"--block", "300", "--program", "1", "--set", "Tone=0.25"},
                                    {{"HALVORINE_STUB_LOG", file("calls.log")}});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> expected = {
        "version 2400",  "sample-rate 48000", "block-size 300",
        "time 0",        "unknown 0",         "open",
        "set-sample-rate 48000", "set-block-size 300", "set-program 1",
        "set-parameter 1 0.25",  "mains 1",            "process-replacing 300",
        "process-replacing 300", "process-replacing 300", "process-replacing 100",
        "mains 0",       "close"};
    EXPECT_EQ(lines(readText(file("calls.log"))), expected);
}

TEST_F(HostRender, ModulatorGoesToInputZeroCarrierToInputOne) {
    writeInputs(777, 777);
    ASSERT_EQ(renderSplit({}).status, 0);
    const Audio split = readAudio(file("out.wav"));
    ASSERT_EQ(split.channels, 2);
    ASSERT_EQ(split.frames(), 777u);
    EXPECT_EQ(split.sampleRate, 44100);
    EXPECT_EQ(split.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    for (std::size_t i = 0; i < 777; ++i) {
        ASSERT_EQ(split.at(i, 0), modulator_[i]) << i;
        ASSERT_EQ(split.at(i, 1), carrier_[i]) << i;
    }

    // One two-channel INPUT: left is the modulator, right the carrier.
    std::vector<float> stereo;
    for (std::size_t i = 0; i < 777; ++i) {
        stereo.push_back(modulator_[i]);
        stereo.push_back(carrier_[i]);
    }
    writeAudio(file("both.wav"), 2, 44100, stereo);
    const RunResult r = runHost(
        {"render", file("both.wav"), "-o", file("out2.wav"), "--plugin", stubPlugin(), "--block", "64"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readAudio(file("out2.wav")).samples, split.samples);
}

TEST_F(HostRender, PadsTheShorterInputWithSilenceAndSaysSo) {
    writeInputs(1000, 600);
    const RunResult r = renderSplit({});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("carrier is shorter"), std::string::npos) << r.err;
    const Audio out = readAudio(file("out.wav"));
    ASSERT_EQ(out.frames(), 1000u);
    EXPECT_EQ(out.at(599, 1), carrier_[599]);
    for (std::size_t i = 600; i < 1000; ++i) ASSERT_EQ(out.at(i, 1), 0.0f) << i;
    EXPECT_EQ(out.at(999, 0), modulator_[999]);

    const RunResult quiet = renderSplit({"--quiet"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, "");
}

TEST_F(HostRender, ProgressBarOnlyOnATerminalForLongRenders) {
    writeInputs(6 * 8000, 6 * 8000, 8000);  // six seconds
    const RunResult shown = runHostOnTerminal({"render", "-m", file("m.wav"), "-c", file("c.wav"),
                                               "-o", file("out.wav"), "--plugin", stubPlugin()});
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("] 100%"), std::string::npos) << shown.out;

    const RunResult quiet = runHostOnTerminal({"render", "-m", file("m.wav"), "-c", file("c.wav"),
                                               "-o", file("out.wav"), "--plugin", stubPlugin(), "-q"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out.find("rendering ["), std::string::npos) << quiet.out;

    const RunResult piped = renderSplit({});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err.find("rendering ["), std::string::npos) << piped.err;

    writeInputs(4 * 8000, 4 * 8000, 8000);  // too short to bother
    const RunResult brief = runHostOnTerminal({"render", "-m", file("m.wav"), "-c", file("c.wav"),
                                               "-o", file("out.wav"), "--plugin", stubPlugin()});
    EXPECT_EQ(brief.out.find("rendering ["), std::string::npos) << brief.out;
}

TEST_F(HostRender, ProgramFirstThenSettingsInOrderByNameOrIndex) {
    writeInputs(256, 256);
    const struct {
        std::vector<std::string> options;
        float level;
    } cases[] = {
        {{"--program", "1"}, 0.5f},
        {{"--set", "LEVEL=0.25", "--program", "2"}, 0.25f},  // program first, whatever the order
        {{"--set", "0=0.2", "--set", "level=0.75"}, 0.75f},  // later settings win
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        ASSERT_EQ(renderSplit(c.options).status, 0);
        const Audio out = readAudio(file("out.wav"));
        for (std::size_t i = 0; i < 256; ++i) {
            ASSERT_EQ(out.at(i, 0), modulator_[i] * c.level) << i;
        }
    }
}

TEST_F(HostRender, FallsBackToAccumulatingProcessOverClearedOutputs) {
    writeInputs(2000, 2000);
    ASSERT_EQ(renderSplit({"--block", "128"}, {{"HALVORINE_STUB_MODE", "accumulate-only"}}).status, 0);
    const Audio out = readAudio(file("out.wav"));
    ASSERT_EQ(out.frames(), 2000u);
    for (std::size_t i = 0; i < 2000; ++i) ASSERT_EQ(out.at(i, 1), carrier_[i]) << i;
}

TEST_F(HostRender, IntegerFormatsClipInsteadOfWrapping) {
    std::vector<float> loud = {0.5f, 1.5f, -2.0f, 0.25f};
    writeAudio(file("m.wav"), 1, 22050, loud);
    writeAudio(file("c.wav"), 1, 22050, loud);
    for (const auto& [name, subtype] :
         {std::pair{"pcm16", SF_FORMAT_PCM_16}, std::pair{"pcm24", SF_FORMAT_PCM_24}}) {
        ASSERT_EQ(renderSplit({"--format", name}).status, 0);
        const Audio out = readAudio(file("out.wav"));
        EXPECT_EQ(out.format, SF_FORMAT_WAV | subtype);
        EXPECT_NEAR(out.at(0, 0), 0.5f, 1e-4);
        EXPECT_GT(out.at(1, 0), 0.99f);
        EXPECT_LE(out.at(2, 0), -0.99f);
    }
    // The extension chooses the container.
    ASSERT_EQ(runHost({"render", "-m", file("m.wav"), "-c", file("c.wav"), "-o", file("out.flac"),
                       "--format", "pcm16", "--plugin", stubPlugin()})
                  .status,
              0);
    EXPECT_EQ(readAudio(file("out.flac")).format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
}

}  // namespace
}  // namespace halvorine::host::test
