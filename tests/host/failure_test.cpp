// Everything the host refuses: one line on stderr, status 1 (2 for what the
// command line got wrong), and no output file left behind - an existing one
// stays as it was.
#include "host_test_support.h"

#include <sndfile.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
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
        {{"--set", "Level=half"}, "does not read 'half' as Level"},
        {{"--set", "Tone=5000Hz"}, "from '100Hz' to '1000Hz' (now '550Hz')"},
        {{"--set", "2=1x"}, "shows no value texts"},
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

using namespace std::string_literals;

// Every MIDI file the host cannot play is refused before anything is
// written; so are notes for a plug-in that has no note input.
TEST_F(HostFailure, NotesItCannotPlay) {
    const std::string end = "\x00\xFF\x2F\x00"s;
    const std::string good = midiFile(0, 96, {"\x00\x90\x3C\x64"s + end});
    std::string shortHeader = good.substr(0, 12);
    std::string tracks2 = midiFile(1, 96, {end, end});
    const struct {
        std::string bytes;  // written to bad.mid; empty: no file at all
        std::string mentions;
    } cases[] = {
        {"", "cannot read MIDI file"},
        {"RIFF\x00\x00\x00\x04WAVE"s, "does not begin with an MThd header"},
        {shortHeader, "header runs past the end of the file"},
        {good.substr(0, good.size() - 2), "past the end of the file"},
        {tracks2.substr(0, tracks2.size() - 12), "declares 2 tracks, but the file ends after 1"},
        {midiFile(2, 96, {end}), "format 2"},
        {midiFile(1, 0, {end}), "0 ticks a quarter note"},
        {midiFile(0, 0xE428, {end}), "SMPTE time base (28 frames"},
        {midiFile(0, 96, {"\x00\x3C\x64"s + end}), "running status with no channel message before it"},
        {midiFile(0, 96, {"\x00\x90\x3C\x64\x00\xFF\x01\x01x\x00\x3E\x64"s + end}), "running status"},
        {midiFile(0, 96, {"\x00\x90\x3C"s}), "ends inside a message"},
        {midiFile(0, 96, {"\x00\x90\x3C\x90\x3C\x64"s + end}), "cut short by a status byte"},
        {midiFile(0, 96, {"\x00\xFF\x01\x20" "abc"s}), "past the end of the track"},
        {midiFile(0, 96, {"\x00\xF0\x20" "abc"s}), "past the end of the track"},
        {midiFile(0, 96, {"\x80\x80\x80\x80\x00\x90\x3C\x64"s + end}), "longer than four bytes"},
        {midiFile(0, 96, {"\x00\xF3\x01"s + end}), "0xF3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mentions);
        std::filesystem::remove(file("bad.mid"));
        if (!c.bytes.empty()) writeText(file("bad.mid"), c.bytes);
        expectRefused({"render", "-m", file("mono.wav"), "--midi", file("bad.mid"), "-o", file("out.wav"),
                       "--plugin", stubClap()},
                      c.mentions);
    }
    std::filesystem::remove(file("bad.mid"));
    RunOptions noNotes;
    noNotes.env = {{"HALVORINE_STUB_DIALECTS", "none"}};
    const std::vector<std::string> notes = {"--notes", "A3", "-o", file("out.wav"), "--plugin"};
    const auto withPlugin = [&](const std::string& plugin) {
        std::vector<std::string> args = {"render", file("mono.wav")};
        args.insert(args.end(), notes.begin(), notes.end());
        args.push_back(plugin);
        return args;
    };
    expectRefused(withPlugin(stubClap()), "has no note input", noNotes);
    expectRefused(withPlugin(stubPlugin()), "is a VST 2 plug-in, which has no synth");
}

TEST_F(HostFailure, ExistingOutputIsReplacedOnlyBySuccess) {
    std::ofstream(file("out.wav")) << "previous render";
    expectRefused(render("mono.wav", "mono.wav", stubPlugin(), {"--set", "Volume=1"}), "Volume", {}, 2);
    EXPECT_EQ(readText(file("out.wav")), "previous render");

    // A plug-in that crashes mid-render: the old file stays, the temporary
    // goes, and the status is the signal's.
    const auto before = folderContents();
    for (const auto& [mode, sig] : std::vector<std::pair<std::string, int>>{
             {"crash-segv", SIGSEGV}, {"crash-bus", SIGBUS}, {"crash-fpe", SIGFPE},
             {"crash-ill", SIGILL}, {"crash-abort", SIGABRT}}) {
        RunOptions crash;
        crash.env = {{"HALVORINE_STUB_MODE", mode}};
        const RunResult r = runHost(render("mono.wav", "mono.wav", stubPlugin(), {"--block", "64"}), crash);
        EXPECT_EQ(r.status, 128 + sig) << mode << r.err;
        EXPECT_EQ(readText(file("out.wav")), "previous render") << mode;
        EXPECT_EQ(folderContents(), before) << mode;
    }

    ASSERT_EQ(runHost(render("mono.wav", "mono.wav", stubPlugin(), {"--quiet"})).status, 0);
    EXPECT_EQ(readAudio(file("out.wav")).frames(), 500u);
    EXPECT_EQ(folderContents().size(), 6u) << "no temporary left beside the output";
}

}  // namespace
}  // namespace halvorine::host::test

namespace halvorine::host::test {
namespace {

namespace fs = std::filesystem;

// Replacing an output: only by a complete file, and keeping what the user
// set up around the old one.
class HostOutput : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        writeAudio(file("in.wav"), 2, 44100, testSignal(6000, 4));
    }
    RunResult renderTo(const fs::path& out, const RunOptions& options = {}) {
        return runHost({"render", file("in.wav"), "-o", out, "--plugin", stubPlugin(), "-q"}, options);
    }
};

TEST_F(HostOutput, KeepsPermissionsAndLinksAndRefusesReadOnlyFiles) {
    std::ofstream(file("private.wav")) << "old";
    fs::permissions(file("private.wav"), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(renderTo(file("private.wav")).status, 0);
    EXPECT_EQ(fs::status(file("private.wav")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    fs::create_directory(file("takes"));
    std::ofstream(file("takes/real.wav")) << "old";
    fs::create_symlink("takes/real.wav", file("link.wav"));
    ASSERT_EQ(renderTo(file("link.wav")).status, 0);
    EXPECT_TRUE(fs::is_symlink(file("link.wav")));
    EXPECT_EQ(countFrames(file("takes/real.wav")), 3000);
    EXPECT_EQ(fs::directory_iterator(file("takes"))->path().filename(), "real.wav");

    // Not the user's to change, although the folder is: run as somebody
    // else when the tests run as root, who may write anything.
    fs::permissions(dir_, fs::perms::all);
    std::ofstream(file("locked.wav")) << "old";
    fs::permissions(file("locked.wav"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    RunOptions asUser;
    asUser.unprivileged = true;
    const RunResult r = renderTo(file("locked.wav"), asUser);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no write permission"), std::string::npos) << r.err;
    EXPECT_EQ(readText(file("locked.wav")), "old");
}

TEST_F(HostOutput, FailedLastWriteOrSizeLimitLeavesTheOldFile) {
    ASSERT_EQ(renderTo(file("full.flac")).status, 0);
    const auto size = static_cast<long long>(fs::file_size(file("full.flac")));
    std::ofstream(file("out.flac")) << "old";
    std::ofstream(file("out.wav")) << "old";
    const auto before = folderContents();

    // The FLAC writer's final frames fail, and it does not say so.
    RunOptions lastWrite;
    lastWrite.fileSizeLimit = size - 200;
    lastWrite.ignoreFileSizeSignal = true;
    RunResult r = renderTo(file("out.flac"), lastWrite);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("came out short"), std::string::npos) << r.err;

    // The limit's signal: a clear message and nothing left behind.
    RunOptions signal;
    signal.fileSizeLimit = 10000;
    r = renderTo(file("out.wav"), signal);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("file-size limit"), std::string::npos) << r.err;

    EXPECT_EQ(folderContents(), before);
    EXPECT_EQ(readText(file("out.flac")), "old");
    EXPECT_EQ(readText(file("out.wav")), "old");
}

TEST_F(HostOutput, NamesAsLongAsTheFolderTakes) {
    const std::string name = std::string(251, 'x') + ".wav";
    const RunResult r = renderTo(file(name));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countFrames(file(name)), 3000);
    EXPECT_EQ(folderContents().size(), 2u);
}

// Over 4 GiB a .wav must be RF64. The test writes 4 GiB, so it runs only
// when HALVORINE_HOST_BIG_TESTS is set.
TEST_F(HostOutput, WavOverFourGibibytesIsRf64) {
    if (std::getenv("HALVORINE_HOST_BIG_TESTS") == nullptr) {
        GTEST_SKIP() << "writes 4 GiB; set HALVORINE_HOST_BIG_TESTS=1 to run";
    }
    // 540 million frames of silence: a small FLAC, over 4 GiB as float WAV.
    const std::vector<float> silence(2 * 1'000'000, 0.0f);
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 48000;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* in = sf_open(file("long.flac").c_str(), SFM_WRITE, &info);
    ASSERT_NE(in, nullptr);
    for (int i = 0; i < 540; ++i) sf_writef_float(in, silence.data(), 1'000'000);
    sf_close(in);
    const RunResult r = runHost({"render", file("long.flac"), "-o", file("big.wav"), "--plugin",
                                 stubPlugin(), "-q", "--block", "8192"});
    ASSERT_EQ(r.status, 0) << r.err;
    SF_INFO out{};
    SNDFILE* big = sf_open(file("big.wav").c_str(), SFM_READ, &out);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(out.format & SF_FORMAT_TYPEMASK, SF_FORMAT_RF64);
    EXPECT_EQ(out.frames, 540'000'000);
    sf_close(big);
}

}  // namespace
}  // namespace halvorine::host::test
