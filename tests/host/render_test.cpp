// Rendering through the stand-in effect: the hosting sequence, channel
// routing, padding, programs and parameters, formats.
#include "host_test_support.h"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "factory_presets.h"

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
    const RunResult r = renderSplit({"--block", "300", "--set", "Tone=0.25", "--preset", "SMEAR", "--program", "1"},
                                    {{"HALVORINE_STUB_LOG", file("calls.log")}});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> expected = {
        "version 2400",  "sample-rate 48000", "block-size 300",
        "time 0",        "unknown 0",         "open",
        "set-sample-rate 48000", "set-block-size 300", "set-program 1",
        "set-program-name Smear"};
    // The factory preset as a host applies a program file: its name, then
    // its ten values; after the program, before the settings.
    const FactoryPreset& smear = factoryPresets()[findFactoryPreset("Smear")];
    for (int k = 0; k < 10; ++k) {
        char line[64];
        std::snprintf(line, sizeof line, "set-parameter %d %g", k, static_cast<double>(smear.values[k]));
        expected.emplace_back(line);
    }
    expected.insert(expected.end(), {"set-parameter 1 0.25", "mains 1", "process-replacing 300",
                                     "process-replacing 300", "process-replacing 300",
                                     "process-replacing 100", "mains 0", "close"});
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

    // Without a known length: the audio time done, without a bar.
    std::vector<float> six = testSignal(6 * 8000 * 2, 3);
    writeAudio(file("six.flac"), 2, 8000, six, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    std::string flac = readText(file("six.flac"));
    flac[21] = static_cast<char>(flac[21] & 0xF0);  // total samples: 0, unknown
    flac.replace(22, 4, 4, '\0');
    std::ofstream(file("six.flac"), std::ios::binary) << flac;
    const RunResult unknown =
        runHostOnTerminal({"render", file("six.flac"), "-o", file("out.wav"), "--plugin", stubPlugin()});
    EXPECT_EQ(unknown.status, 0);
    EXPECT_NE(unknown.out.find("rendering  6.0 s\r\n"), std::string::npos) << unknown.out;

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

using namespace std::string_literals;

// PPQ 96 at 8000 Hz: at the default 120 a minute a tick is 41 2/3 frames;
// from tick 192 the first track's tempo doubles it to 20 5/6. Running
// status, a note-on of velocity 0 for an off, and a second track whose
// message at tick 96 follows the first track's.
const std::string kTempoTrack = "\x00\xFF\x51\x03\x07\xA1\x20"s  // 500000 us a quarter
                                "\x81\x40\xFF\x51\x03\x03\xD0\x90"  // tick 192: 250000
                                "\x00\xFF\x2F\x00";
const std::string kNoteTrack = "\x00\x90\x3C\x64"s  // tick 0: C4 on
                               "\x01\x40\x50"      // tick 1: E4 on, running status
                               "\x5F\x3C\x00"      // tick 96: C4 off as a velocity of 0
                               "\x60\x80\x40\x20"  // tick 192: E4 off
                               "\x60\xE0\x00\x50"  // tick 288: pitch bend
                               "\x00\xB0\x40\x7F"  // sustain pedal down
                               "\x01\x7B\x00"      // tick 289: all notes off, running status
                               "\x81\x3F\x90\x45\x64"  // tick 480, 14000 frames: after the input
                               "\x00\xFF\x2F\x00";
const std::string kSecondTrack = "\x60\x91\x43\x64\x00\xFF\x2F\x00"s;  // tick 96, channel 2

TEST_F(HostRender, MidiMessagesReachTheNoteInputAtTheirFrames) {
    writeAudio(file("m.wav"), 1, 8000, testSignal(12000, 1));
    writeText(file("song.mid"), midiFile(1, 96, {kTempoTrack, kNoteTrack, kSecondTrack}));
    // SMPTE time: 25 frames a second of 40 ticks, a tempo to ignore, C4 at
    // tick 125 (1/8 s).
    writeText(file("smpte.mid"),
              midiFile(0, 0xE728, {"\x00\xFF\x51\x03\x01\x00\x00\x7D\x90\x3C\x64\x00\xFF\x2F\x00"s}));
    const std::vector<std::string> clapNotes = {
        "on 0 0 60 0.787402", "on 42 0 64 0.629921", "off 4000 0 60 0", "on 4000 1 67 0.787402",
        "off 8000 0 64 0.251969"};
    std::vector<std::string> both = clapNotes;
    both.insert(both.end(), {"midi 10000 E0 00 50", "midi 10000 B0 40 7F", "midi 10021 B0 7B 00"});
    const std::vector<std::string> midi = {
        "midi 0 90 3C 64",    "midi 42 90 40 50",    "midi 4000 90 3C 00",  "midi 4000 91 43 64",
        "midi 8000 80 40 20", "midi 10000 E0 00 50", "midi 10000 B0 40 7F", "midi 10021 B0 7B 00"};
    const struct {
        std::string midiFile, dialects, block;
        std::vector<std::string> log;
        std::string mentions;
    } cases[] = {
        {"song.mid", "both", "300", both, "1 MIDI message after the input's end (1.50 s) left out"},
        {"song.mid", "both", "1", both, ""},
        {"song.mid", "midi", "4096", midi, ""},
        {"song.mid", "clap", "300", clapNotes, "3 MIDI messages other than notes left out"},
        {"smpte.mid", "both", "64", {"on 1000 0 60 0.787402"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.midiFile + " " + c.dialects + " " + c.block);
        std::filesystem::remove(file("notes.log"));
        const RunResult r = runHost({"render", "-m", file("m.wav"), "--midi", file(c.midiFile), "-o", file("out.wav"),
                                     "--block", c.block, "--plugin", stubClap()},
                                    {{"HALVORINE_STUB_LOG", file("notes.log")}, {"HALVORINE_STUB_DIALECTS", c.dialects}});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(lines(readText(file("notes.log"))), c.log);
        if (!c.mentions.empty()) {
            EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        }
    }
}

// Held notes at the first frame; the modulator on the main input, silence
// on the sidechain when no carrier is given.
TEST_F(HostRender, NotesAreHeldFromTheFirstFrameOverTheModulatorAlone) {
    const auto modulator = testSignal(700, 4);
    writeAudio(file("m.wav"), 1, 44100, modulator);
    const RunResult r = runHost({"render", file("m.wav"), "--notes", "C-1 F#2,Bb4 G9 a4", "-o", file("out.wav"),
                                 "--block", "256", "--plugin", stubClap()},
                                {{"HALVORINE_STUB_LOG", file("notes.log")}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(readText(file("notes.log"))),
              (std::vector<std::string>{"on 0 0 0 0.787402", "on 0 0 42 0.787402", "on 0 0 70 0.787402",
                                        "on 0 0 127 0.787402", "on 0 0 69 0.787402"}));
    const Audio out = readAudio(file("out.wav"));
    ASSERT_EQ(out.frames(), 700u);
    for (std::size_t i = 0; i < 700; ++i) {
        ASSERT_EQ(out.at(i, 0), modulator[i]) << i;
        ASSERT_EQ(out.at(i, 1), 0.0f) << i;
    }
}

}  // namespace
}  // namespace halvorine::host::test

namespace halvorine::host::test {
namespace {

std::vector<float> stereoOf(std::size_t frames) {
    std::vector<float> both;
    const auto left = testSignal(frames, 5);
    const auto right = testSignal(frames, 6);
    for (std::size_t i = 0; i < frames; ++i) {
        both.push_back(left[i]);
        both.push_back(right[i]);
    }
    return both;
}

// Inputs whose headers do not tell their length, or tell a wrong one, are
// read to their end - from a file or through a pipe on standard input.
TEST_F(HostRender, ReadsEveryInputToItsEnd) {
    const auto both = stereoOf(30000);
    writeAudio(file("a.ogg"), 2, 44100, stereoOf(120000), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    writeAudio(file("a.flac"), 2, 44100, both, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    writeAudio(file("a.aiff"), 2, 44100, both, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    writeAudio(file("a.wav"), 2, 44100, both);
    const std::string ogg = readText(file("a.ogg"));
    const std::string flac = readText(file("a.flac"));
    const std::string wav = readText(file("a.wav"));
    // Half an Ogg file; a FLAC stream whose header gives 0 samples; a WAV
    // with the streaming placeholder 0xFFFFFFFF as its sizes; a FLAC cut short.
    std::ofstream(file("half.ogg"), std::ios::binary) << ogg.substr(0, ogg.size() / 2);
    std::string streamed = flac;
    streamed[21] = static_cast<char>(streamed[21] & 0xF0);
    streamed.replace(22, 4, 4, '\0');
    std::ofstream(file("streamed.flac"), std::ios::binary) << streamed;
    std::ofstream(file("cut.flac"), std::ios::binary) << flac.substr(0, flac.size() / 2);
    std::string endless = wav;
    endless.replace(4, 4, 4, '\xFF');
    endless.replace(wav.find("data") + 4, 4, 4, '\xFF');

    const struct {
        std::string input;  // a file, or "-" for `piped` on standard input
        std::string piped;
        long long frames;
        std::string note;
    } cases[] = {
        {file("half.ogg"), "", countFrames(file("half.ogg")), ""},
        {file("streamed.flac"), "", 30000, ""},
        {file("cut.flac"), "", countFrames(file("cut.flac")), "less than the 0.68 s its header gives"},
        {"-", endless, 30000, ""},
        {"-", ogg, 120000, ""},
        {"-", flac, 30000, ""},
        {"-", readText(file("a.aiff")), 30000, ""},
        {"-", wav.substr(0, wav.size() - 8000), 29000, "(standard input) holds 0.66 s, less than the 0.68 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input + " " + std::to_string(c.piped.size()));
        ASSERT_GT(c.frames, 1000);
        RunOptions options;
        options.input = c.piped;
        options.fileSizeLimit = 10'000'000;  // the old endless render stops here
        const RunResult r = runHost({"render", c.input, "-o", file("out.wav"), "--plugin", stubPlugin()},
                                    options);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(countFrames(file("out.wav")), c.frames);
        if (!c.note.empty()) {
            EXPECT_NE(r.err.find(c.note), std::string::npos) << r.err;
        }
    }

    // Standard input for one of two mono inputs.
    writeInputs(900, 1200);
    RunOptions options;
    options.input = readText(file("m.wav"));
    const RunResult r = runHost({"render", "-m", "-", "-c", file("c.wav"), "-o", file("out.wav"),
                                 "--plugin", stubPlugin()},
                                options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("modulator is shorter (0.02 s against 0.03 s)"), std::string::npos) << r.err;
    const Audio out = readAudio(file("out.wav"));
    ASSERT_EQ(out.frames(), 1200u);
    EXPECT_EQ(out.at(899, 0), modulator_[899]);
    EXPECT_EQ(out.at(900, 0), 0.0f);
}

TEST_F(HostRender, UnitsGoToTheEffectAndProgramsByName) {
    writeInputs(256, 256);
    const RunResult r = renderSplit({"--program", "QUIET", "--set", "Level=25%", "--set", "tone=190 Hz"},
                                    {{"HALVORINE_STUB_LOG", file("calls.log")}});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string log = readText(file("calls.log"));
    EXPECT_NE(log.find("set-program 2\nstring-to-parameter 0 25%\nstring-to-parameter 1 190 Hz\n"),
              std::string::npos)
        << log;
    const Audio out = readAudio(file("out.wav"));
    for (std::size_t i = 0; i < 256; ++i) ASSERT_EQ(out.at(i, 0), modulator_[i] * 0.25f) << i;
}

TEST_F(HostRender, FormatsFollowTheContainer) {
    writeAudio(file("in.wav"), 2, 48000, stereoOf(2000));
    const struct {
        std::string out;
        std::vector<std::string> options;
        int format;
    } cases[] = {
        {"o.wav", {}, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"o.aif", {}, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"o.caf", {"--format", "DOUBLE"}, SF_FORMAT_CAF | SF_FORMAT_DOUBLE},
        {"o.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"o.ogg", {}, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"o.opus", {}, SF_FORMAT_OGG | SF_FORMAT_OPUS},
        {"o.wav", {"--format", "Pcm8"}, SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
        {"o.w64", {"--format", "pcm32"}, SF_FORMAT_W64 | SF_FORMAT_PCM_32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        std::vector<std::string> args = {"render", file("in.wav"), "-o" + file(c.out).string(),
                                         "--plugin", stubPlugin()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult r = runHost(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readAudio(file(c.out)).format, c.format);
        EXPECT_EQ(countFrames(file(c.out)), 2000);
    }
    writeAudio(file("in44.wav"), 2, 44100, stereoOf(100));
    const RunResult opus =
        runHost({"render", file("in44.wav"), "-o", file("o44.opus"), "--plugin", stubPlugin()});
    EXPECT_EQ(opus.status, 2);
    EXPECT_NE(opus.err.find("Opus takes only"), std::string::npos) << opus.err;
}

TEST_F(HostRender, WarnsOfClippingAndNonFiniteInputAndGivesThePeak) {
    std::vector<float> loud = {0.5f, 1.5f, -2.0f, 0.25f, NAN, INFINITY};
    writeAudio(file("m.wav"), 1, 22050, loud);
    writeAudio(file("c.wav"), 1, 22050, {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f});
    const RunResult r = renderSplit({"--format", "pcm16", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: 2 samples clipped"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("modulator '" + file("m.wav").string() + "' has 2 non-finite samples"),
              std::string::npos)
        << r.err;
    const Audio out = readAudio(file("out.wav"));
    EXPECT_EQ(out.at(4, 0), 0.0f);
    EXPECT_EQ(out.at(5, 0), 0.0f);

    const RunResult shown = renderSplit({});
    EXPECT_NE(shown.out.find(", 2 channels, float, peak 6.0 dBFS\n"), std::string::npos) << shown.out;

    // Not-a-number from the plug-in, one per channel and block: in the
    // peak and the clip count alike.
    const RunResult nan = renderSplit({"--format", "pcm16", "--block", "3"},
                                      {{"HALVORINE_STUB_MODE", "nan-output"}});
    ASSERT_EQ(nan.status, 0) << nan.err;
    EXPECT_NE(nan.err.find("the plug-in wrote 4 non-finite samples"), std::string::npos) << nan.err;
    EXPECT_NE(nan.err.find("warning: 6 samples clipped"), std::string::npos) << nan.err;
    EXPECT_NE(nan.err.find("peak +inf dBFS"), std::string::npos) << nan.err;
}

}  // namespace
}  // namespace halvorine::host::test
