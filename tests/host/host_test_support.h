// Running halvorine-host as a subprocess, and small audio files for it,
// made with libsndfile directly so the tests do not lean on the host's own
// file code.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace halvorine::host::test {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

struct RunOptions {
    std::vector<std::pair<std::string, std::string>> env;  // added to the environment
    std::string input;               // fed to standard input through a pipe
    long long fileSizeLimit = -1;    // RLIMIT_FSIZE in bytes; negative: none
    bool ignoreFileSizeSignal = false;
    bool unprivileged = false;       // as user nobody when the tests run as root
};

// Runs halvorine-host with `args`; standard input is empty.
RunResult runHost(const std::vector<std::string>& args, const RunOptions& options);
RunResult runHost(const std::vector<std::string>& args,
                  const std::vector<std::pair<std::string, std::string>>& env = {});

// Runs halvorine-host with its standard streams on a pseudo-terminal and
// returns everything it wrote there.
RunResult runHostOnTerminal(const std::vector<std::string>& args);

struct Audio {
    int channels = 0;
    int sampleRate = 0;
    int format = 0;  // libsndfile format code
    std::vector<float> samples;  // interleaved
    std::size_t frames() const { return samples.size() / static_cast<std::size_t>(channels); }
    float at(std::size_t frame, int channel) const {
        return samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
    }
};

// Float WAV unless `format` names another libsndfile format.
void writeAudio(const std::filesystem::path& path, int channels, int sampleRate,
                const std::vector<float>& interleaved, int format = 0);
Audio readAudio(const std::filesystem::path& path);
// The frames a file holds, read to its end (its header may not tell).
long long countFrames(const std::filesystem::path& path);

// A deterministic test signal in -0.9..0.9.
std::vector<float> testSignal(std::size_t frames, unsigned seed);

// A Standard MIDI File: the header for `format`, `tracks.size()` tracks and
// `division`, then each track's bytes (events after their delta times) in
// its MTrk chunk.
std::string midiFile(int format, unsigned division, const std::vector<std::string>& tracks);
void writeText(const std::filesystem::path& path, const std::string& bytes);

std::string readText(const std::filesystem::path& path);
std::vector<std::string> lines(const std::string& text);

const std::string& stubPlugin();
const std::string& noMainPlugin();
const std::string& realPlugin();  // empty when the plug-in is not part of this build
const std::string& stubClap();    // a CLAP stand-in with a note input that logs its notes
const std::string& realClap();    // Halvorine.clap; empty when not part of this build

// Each test gets a fresh folder, removed afterwards.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path file(const std::string& name) const { return dir_ / name; }
    std::vector<std::string> folderContents() const;

    std::filesystem::path dir_;
};

}  // namespace halvorine::host::test
