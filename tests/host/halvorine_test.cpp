// The host with the real plug-in: the dry ends of "Mix" and the demo.
#include "host_test_support.h"

#include <cmath>
#include <cstdio>

namespace halvorine::host::test {
namespace {

class HostWithHalvorine : public HostTest {
protected:
    void SetUp() override {
        if (realPlugin().empty()) GTEST_SKIP() << "the plug-in is not part of this build";
        HostTest::SetUp();
    }
};

// The effect adds 1e-12 to every input sample before anything else.
float withOffset(float x) { return static_cast<float>(static_cast<double>(x) + 1e-12); }

TEST_F(HostWithHalvorine, MixEndsPassTheModulatorOrTheCarrierSampleForSample) {
    const auto modulator = testSignal(3000, 7);
    const auto carrier = testSignal(3000, 8);
    writeAudio(file("m.wav"), 1, 44100, modulator);
    writeAudio(file("c.wav"), 1, 44100, carrier);
    for (const auto& [mix, dry] : {std::pair{"Mix=0", &modulator}, std::pair{"mix=1", &carrier}}) {
        SCOPED_TRACE(mix);
        const RunResult r = runHost({"render", "-m", file("m.wav"), "-c", file("c.wav"), "-o",
                                     file("out.wav"), "--set", mix, "--block", "333", "--plugin",
                                     realPlugin()});
        ASSERT_EQ(r.status, 0) << r.err;
        const Audio out = readAudio(file("out.wav"));
        ASSERT_EQ(out.channels, 2);
        ASSERT_EQ(out.frames(), 3000u);
        for (std::size_t i = 0; i < 3000; ++i) {
            ASSERT_EQ(out.at(i, 0), withOffset((*dry)[i])) << "frame " << i;
            ASSERT_EQ(out.at(i, 1), withOffset((*dry)[i])) << "frame " << i;
        }
    }
}

// The effect places its bands in Hz, so the same samples labelled 44.1 kHz
// and 48 kHz must meet different filters - unless the file's rate never
// reached the effect's filter design and both were filtered at 44.1 kHz.
TEST_F(HostWithHalvorine, FileRateReachesTheFilterDesign) {
    std::vector<float> stereo;
    const auto modulator = testSignal(4000, 3);
    const auto carrier = testSignal(4000, 4);
    for (std::size_t i = 0; i < modulator.size(); ++i) {
        stereo.push_back(modulator[i]);
        stereo.push_back(carrier[i]);
    }
    std::vector<std::vector<float>> rendered;
    for (int rate : {44100, 48000, 44100}) {
        const std::string in = file("in" + std::to_string(rate) + ".wav");
        writeAudio(in, 2, rate, stereo);
        const RunResult r = runHost({"render", in, "-o", file("out.wav"), "--plugin", realPlugin()});
        ASSERT_EQ(r.status, 0) << r.err;
        const Audio out = readAudio(file("out.wav"));
        EXPECT_EQ(out.sampleRate, rate);
        rendered.push_back(out.samples);
    }
    EXPECT_EQ(rendered[0], rendered[2]) << "the same render twice must match";
    EXPECT_NE(rendered[0], rendered[1]);
}

// Values in units are the values the engine uses, and one beyond its range
// is said to be brought to the end.
TEST_F(HostWithHalvorine, ValuesInUnitsAreWhatTheEngineUses) {
    writeAudio(file("m.wav"), 1, 44100, testSignal(2000, 5));
    writeAudio(file("c.wav"), 1, 44100, testSignal(2000, 6));
    const auto render = [&](const std::string& setting) {
        const RunResult r = runHost({"render", "-m", file("m.wav"), "-c", file("c.wav"), "-o",
                                     file("out.wav"), "--quiet", "--set", setting, "--plugin",
                                     realPlugin()});
        EXPECT_EQ(r.status, 0) << r.err;
        return std::pair{readAudio(file("out.wav")).samples, r.err};
    };
    // The engine shifts roundDown(63 v) bands: n bands is v = (n + 0.5) / 63.
    for (int n : {1, 18, 19, 40, 62}) {
        char normalised[32];
        std::snprintf(normalised, sizeof normalised, "Shift=%.9g",
                      static_cast<double>(static_cast<float>((n + 0.5) / 63.0)));
        EXPECT_EQ(render("Shift=" + std::to_string(n) + " bands").first, render(normalised).first) << n;
    }
    const struct {
        const char* setting;
        const char* warning;  // empty: none
    } ranges[] = {
        {"Boost=+30dB", "warning: Boost +30dB is above +20dB; using +20dB\n"},
        {"Boost=-30dB", "warning: Boost -30dB is below -20dB; using -20dB\n"},
        {"Mod Start Freq=5Hz", "warning: Mod Start Freq 5Hz is below 20Hz; using 20Hz\n"},
        {"Carr Freq Q=250%", "warning: Carr Freq Q 250% is above 100%; using 100%\n"},
        {"Boost=+20dB", ""},
        {"Mod Finish Freq=20.5 kHz", ""},
    };
    for (const auto& c : ranges) {
        const std::string err = render(c.setting).second;
        if (*c.warning) EXPECT_NE(err.find(c.warning), std::string::npos) << c.setting << ": " << err;
        else EXPECT_EQ(err.find("warning"), std::string::npos) << c.setting << ": " << err;
    }
}

// The same command line through the CLAP build gives the VST 2 library's
// bits: the modulator reaches the main input and the carrier the
// sidechain, programs and presets load through the plug-in's presets, and
// values (bare or in units) mean the same.
TEST_F(HostWithHalvorine, TheClapBuildRendersTheVst2Bits) {
    writeAudio(file("m.wav"), 1, 44100, testSignal(3000, 9));
    writeAudio(file("c.wav"), 1, 44100, testSignal(3000, 10));
    const std::vector<std::string> cases[] = {
        {"--block", "200"},
        {"--program", "5", "--set", "Shift=0.3", "--set", "Mix=0.35"},
        {"--preset", "smear", "--set", "Boost=+6dB", "--set", "Mod Start Freq=640Hz"},
    };
    for (const auto& options : cases) {
        SCOPED_TRACE(::testing::PrintToString(options));
        std::vector<std::vector<float>> rendered;
        for (const std::string& plugin : {realPlugin(), realClap()}) {
            std::vector<std::string> args = {"render", "-m", file("m.wav"), "-c", file("c.wav"), "-o",
                                             file("out.wav"), "--quiet", "--plugin", plugin};
            args.insert(args.end(), options.begin(), options.end());
            const RunResult r = runHost(args);
            ASSERT_EQ(r.status, 0) << r.err;
            rendered.push_back(readAudio(file("out.wav")).samples);
        }
        EXPECT_TRUE(rendered[0] == rendered[1]) << "the CLAP render differs";
    }
}

// The synth through the CLAP build as the carrier: the same notes give the
// same bits whatever the block size, from a MIDI file (notes, a tempo
// change, pitch bend, the sustain pedal), from held notes, and the drone
// alone over the modulator alone.
TEST_F(HostWithHalvorine, TheSynthPlaysTheSameBitsWhateverTheBlockSize) {
    writeAudio(file("m.wav"), 1, 44100, testSignal(44100, 11));
    using namespace std::string_literals;
    writeText(file("song.mid"),
              midiFile(1, 480,
                       {"\x00\xFF\x51\x03\x07\xA1\x20\x83\x60\xFF\x51\x03\x05\x16\x15\x00\xFF\x2F\x00"s,
                        "\x00\x90\x39\x64\x07\x3C\x50\x81\x55\x40\x70\x82\x00\xE0\x00\x60\x05\xB0\x40\x7F"
                        "\x81\x00\x80\x39\x00\x10\x90\x3C\x00\x83\x00\xB0\x7B\x00\x00\xFF\x2F\x00"s}));
    for (const std::vector<std::string>& notes :
         {std::vector<std::string>{"--midi", file("song.mid")}, std::vector<std::string>{"--notes", "A3 C4 E4"},
          std::vector<std::string>{"--set", "Drone=F#2"}}) {
        SCOPED_TRACE(notes[0]);
        std::vector<std::vector<float>> rendered;
        for (const char* block : {"64", "512", "333"}) {
            std::vector<std::string> args = {"render", "-m", file("m.wav"), "-o", file("out.wav"), "--quiet",
                                             "--set", "Carrier=Synth", "--block", block, "--plugin", realClap()};
            args.insert(args.end(), notes.begin(), notes.end());
            const RunResult r = runHost(args);
            ASSERT_EQ(r.status, 0) << r.err;
            rendered.push_back(readAudio(file("out.wav")).samples);
        }
        double energy = 0.0;
        for (const float x : rendered[0]) energy += static_cast<double>(x) * x;
        EXPECT_GT(energy, 1.0) << "the synth is silent";
        EXPECT_TRUE(rendered[0] == rendered[1]) << "blocks of 64 and 512 differ";
        EXPECT_TRUE(rendered[0] == rendered[2]) << "blocks of 64 and 333 differ";
    }
}

TEST_F(HostWithHalvorine, DemoWritesItsThreeFiles) {
    const RunResult r = runHost({"demo", "-o", file("demo"), "--quiet", "--plugin", realPlugin()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio modulator = readAudio(file("demo/modulator.wav"));
    const Audio carrier = readAudio(file("demo/carrier.wav"));
    const Audio out = readAudio(file("demo/halvorine.wav"));
    EXPECT_EQ(modulator.channels, 1);
    EXPECT_EQ(carrier.channels, 1);
    ASSERT_EQ(out.channels, 2);
    EXPECT_EQ(out.frames(), modulator.frames());
    EXPECT_GE(out.frames(), 3u * 44100u);

    double energy = 0.0;
    for (std::size_t i = 0; i < out.frames(); ++i) {
        ASSERT_EQ(out.at(i, 0), out.at(i, 1));
        ASSERT_TRUE(std::isfinite(out.at(i, 0)));
        energy += static_cast<double>(out.at(i, 0)) * out.at(i, 0);
    }
    EXPECT_GT(std::sqrt(energy / static_cast<double>(out.frames())), 1e-3) << "the demo is silent";
    EXPECT_NE(r.out.find("halvorine.wav"), std::string::npos);
    EXPECT_NE(r.out.find("spectrogram"), std::string::npos);
}

}  // namespace
}  // namespace halvorine::host::test
