#include "host_test_support.h"

#include <fcntl.h>
#include <pty.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace halvorine::host::test {

RunResult runHost(const std::vector<std::string>& args,
                  const std::vector<std::pair<std::string, std::string>>& env) {
    RunOptions options;
    options.env = env;
    return runHost(args, options);
}

RunResult runHost(const std::vector<std::string>& args, const RunOptions& options) {
    char outName[] = "/tmp/halvorine-host-out-XXXXXX";
    char errName[] = "/tmp/halvorine-host-err-XXXXXX";
    const int outFd = mkstemp(outName);
    const int errFd = mkstemp(errName);

    std::vector<std::string> argvText = {HALVORINE_HOST_EXE};
    argvText.insert(argvText.end(), args.begin(), args.end());
    // Somebody else may not enter the build tree (under root's home, say):
    // that run gets copies of the host and the stub in a folder of its own.
    std::string copies;
    if (options.unprivileged && geteuid() == 0) {
        std::string pattern = (fs::temp_directory_path() / "halvorine-host-copies-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "no folder for the copies";
        copies = pattern;
        fs::permissions(copies, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
        for (std::string& a : argvText) {
            if (a != HALVORINE_HOST_EXE && a != stubPlugin()) continue;
            const fs::path copy = fs::path(copies) / fs::path(a).filename();
            fs::copy_file(a, copy, fs::copy_options::overwrite_existing);
            a = copy.string();
        }
    }
    std::vector<char*> argv;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);

    int feed[2] = {-1, -1};
    if (!options.input.empty() && pipe(feed) != 0) ADD_FAILURE() << "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        if (feed[0] >= 0) {
            dup2(feed[0], STDIN_FILENO);
            close(feed[0]);
            close(feed[1]);
        } else {
            const int devNull = open("/dev/null", O_RDONLY);
            dup2(devNull, STDIN_FILENO);
        }
        for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        std::signal(SIGPIPE, SIG_DFL);
        const rlimit noCore{0, 0};  // the crash tests leave no core files about
        setrlimit(RLIMIT_CORE, &noCore);
        if (options.ignoreFileSizeSignal) std::signal(SIGXFSZ, SIG_IGN);
        if (options.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                               static_cast<rlim_t>(options.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (feed[0] >= 0) {
        // The host may stop reading early; a write into a closed pipe then
        // fails instead of ending the tests.
        std::signal(SIGPIPE, SIG_IGN);
        close(feed[0]);
        for (std::size_t done = 0; done < options.input.size();) {
            const ssize_t n = write(feed[1], options.input.data() + done, options.input.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(feed[1]);
    }
    RunResult result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (!copies.empty()) {
        std::error_code ec;
        fs::remove_all(copies, ec);
    }
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
                const std::vector<float>& interleaved, int format) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format != 0 ? format : SF_FORMAT_WAV | SF_FORMAT_FLOAT;
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

long long countFrames(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return -1;
    std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
    long long frames = 0;
    while (const sf_count_t got = sf_readf_float(file, block.data(), 4096)) frames += got;
    sf_close(file);
    return frames;
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

std::string midiFile(int format, unsigned division, const std::vector<std::string>& tracks) {
    const auto be = [](unsigned long value, int bytes) {
        std::string out;
        for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
        return out;
    };
    std::string file = "MThd" + be(6, 4) + be(static_cast<unsigned long>(format), 2) + be(tracks.size(), 2) +
                       be(division, 2);
    for (const std::string& track : tracks) file += "MTrk" + be(track.size(), 4) + track;
    return file;
}

void writeText(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
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

const std::string& stubClap() {
    static const std::string path = HALVORINE_STUB_CLAP;
    return path;
}

const std::string& realClap() {
    static const std::string path = HALVORINE_REAL_CLAP;
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
