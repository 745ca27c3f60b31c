#include "host_test_support.h"

#include <fcntl.h>
#include <pty.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace halvorine::host::test {

RunResult runHost(const std::vector<std::string>& args,
                  const std::vector<std::pair<std::string, std::string>>& env) {
    char outName[] = "/tmp/halvorine-host-out-XXXXXX";
    char errName[] = "/tmp/halvorine-host-err-XXXXXX";
    const int outFd = mkstemp(outName);
    const int errFd = mkstemp(errName);

    std::vector<std::string> argvText = {HALVORINE_HOST_EXE};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    RunResult result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    close(outFd);
    close(errFd);
    result.out = readText(outName);
    result.err = readText(errName);
    unlink(outName);
    unlink(errName);
    return result;
}

RunResult runHostOnTerminal(const std::vector<std::string>& args) {
    std::vector<std::string> argvText = {HALVORINE_HOST_EXE};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    RunResult result;
    if (pid < 0) return result;
    char buf[4096];
    for (;;) {
        const ssize_t got = read(master, buf, sizeof buf);
        if (got <= 0) break;  // EIO once the child has closed the terminal
        result.out.append(buf, static_cast<std::size_t>(got));
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

void writeAudio(const fs::path& path, int channels, int sampleRate,
                const std::vector<float>& interleaved) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_float(file, interleaved.data(),
                    static_cast<sf_count_t>(interleaved.size()) / channels);
    sf_close(file);
}

Audio readAudio(const fs::path& path) {
    Audio audio;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return audio;
    }
    audio.channels = info.channels;
    audio.sampleRate = info.samplerate;
    audio.format = info.format;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

std::vector<float> testSignal(std::size_t frames, unsigned seed) {
    std::vector<float> samples(frames);
    unsigned state = seed * 2654435761u + 1u;
    for (auto& s : samples) {
        state = state * 1664525u + 1013904223u;
        s = static_cast<float>(static_cast<double>(state >> 8) / 16777216.0 * 1.8 - 0.9);
    }
    return samples;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

const std::string& stubPlugin() {
    static const std::string path = HALVORINE_STUB_PLUGIN;
    return path;
}

const std::string& noMainPlugin() {
    static const std::string path = HALVORINE_NOMAIN_PLUGIN;
    return path;
}

const std::string& realPlugin() {
    static const std::string path = HALVORINE_REAL_PLUGIN;
    return path;
}

void HostTest::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "halvorine-host-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
}

void HostTest::TearDown() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

std::vector<std::string> HostTest::folderContents() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace halvorine::host::test
