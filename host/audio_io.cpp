#include "audio_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "error.h"

namespace fs = std::filesystem;

namespace halvorine::host {

namespace {

// The temporary of the output being written, for the signal handler.
// Outputs are written one after another, so one slot is enough.
char gPendingTemp[4096];
volatile std::sig_atomic_t gHavePendingTemp = 0;

extern "C" void removePendingTemp(int sig) {
    if (gHavePendingTemp != 0) unlink(gPendingTemp);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void installSignalCleanup() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, removePendingTemp);
}

int subtypeFor(SampleFormat format) {
    switch (format) {
        case SampleFormat::pcm16: return SF_FORMAT_PCM_16;
        case SampleFormat::pcm24: return SF_FORMAT_PCM_24;
        case SampleFormat::float32: break;
    }
    return SF_FORMAT_FLOAT;
}

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

std::string errnoText() { return std::strerror(errno); }

}  // namespace

InputFile::InputFile(const std::string& path, const std::string& role)
    : path_(path), role_(role) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::exists(status)) fail(role + " '" + path + "' does not exist");
    if (fs::is_directory(status)) fail(role + " '" + path + "' is a folder, not an audio file");
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (file_ == nullptr) {
        fail("cannot read " + role + " '" + path + "': " + sf_strerror(nullptr));
    }
}

InputFile::~InputFile() {
    if (file_ != nullptr) sf_close(file_);
}

std::size_t InputFile::read(float* interleaved, std::size_t frames) {
    std::size_t done = 0;
    while (done < frames) {
        const sf_count_t got =
            sf_readf_float(file_, interleaved + done * static_cast<std::size_t>(info_.channels),
                           static_cast<sf_count_t>(frames - done));
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    if (done < frames && sf_error(file_) != SF_ERR_NO_ERROR) {
        fail("error reading " + role_ + " '" + path_ + "': " + sf_strerror(file_));
    }
    return done;
}

int containerForPath(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == "aif") return SF_FORMAT_AIFF;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count && !ext.empty(); ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension != nullptr && ext == info.extension) return info.format;
    }
    usageError("cannot tell the file type of '" + path +
               "' from its name: end it in .wav, .aiff, .flac or another type libsndfile writes");
}

void checkOutputFormat(const std::string& path, SampleFormat format) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = containerForPath(path) | subtypeFor(format);
    if (sf_format_check(&info) == 0) {
        usageError("a ." + lowerExtension(path) + " file cannot hold " + formatName(format) +
                   " samples; choose another --format or file type");
    }
}

OutputFile::OutputFile(const std::string& path, int channels, int sampleRate,
                       SampleFormat format)
    : path_(path) {
    checkOutputFormat(path, format);
    std::error_code ec;
    if (fs::is_directory(path, ec)) fail("output '" + path + "' is a folder");
    fs::path dir = fs::path(path).parent_path();
    if (dir.empty()) dir = ".";
    if (!fs::is_directory(dir, ec)) {
        fail("cannot write '" + path + "': folder '" + dir.string() + "' does not exist");
    }

    installSignalCleanup();
    std::string tempName = ".";  // built in steps: GCC 12 misreads "." + string&& (-Wrestrict)
    tempName += fs::path(path).filename().string();
    tempName += ".partial-XXXXXX";
    std::string pattern = (dir / tempName).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) fail("cannot write into folder '" + dir.string() + "': " + errnoText());
    tempPath_ = pattern;
    if (tempPath_.size() < sizeof gPendingTemp) {
        std::memcpy(gPendingTemp, tempPath_.c_str(), tempPath_.size() + 1);
        gHavePendingTemp = 1;
    }
    // mkstemp makes the file private; give it the permissions a new file
    // would get.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = containerForPath(path) | subtypeFor(format);
    file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (file_ == nullptr) {
        ::close(fd);
        const std::string why = sf_strerror(nullptr);
        discard();
        fail("cannot write '" + path + "': " + why);
    }
    // Integer formats: clip instead of wrapping around.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // Float files: no PEAK chunk, whose upkeep scans every sample written.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::write(const float* interleaved, std::size_t frames) {
    const sf_count_t written = sf_writef_float(file_, interleaved, static_cast<sf_count_t>(frames));
    if (written != static_cast<sf_count_t>(frames)) {
        fail("error writing '" + path_ + "': " + sf_strerror(file_));
    }
}

void OutputFile::commit() {
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) {
        const std::string why = sf_error_number(closed);
        discard();
        fail("error finishing '" + path_ + "': " + why);
    }
    if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        const std::string why = errnoText();
        discard();
        fail("cannot move the finished output into place as '" + path_ + "': " + why);
    }
    gHavePendingTemp = 0;
    tempPath_.clear();
}

void OutputFile::discard() noexcept {
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        gHavePendingTemp = 0;
        unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

}  // namespace halvorine::host
