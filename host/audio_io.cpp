#include "audio_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

#include "error.h"

namespace fs = std::filesystem;

namespace halvorine::host {

namespace {

std::string errnoText(int error = errno) { return std::strerror(error); }

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

std::string seconds(sf_count_t frames, int rate) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f s", rate > 0 ? static_cast<double>(frames) / rate : 0.0);
    return buf;
}

// Bytes per sample of the uncompressed encodings; 0 for the others.
int bytesPerSample(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return 1;
        case SF_FORMAT_PCM_16: return 2;
        case SF_FORMAT_PCM_24: return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT: return 4;
        case SF_FORMAT_DOUBLE: return 8;
        default: return 0;
    }
}

// ---------------------------------------------------------------------------
// The temporary output, for the signal handler. Outputs are written one
// after another, so one slot is enough. The name is kept relative to an
// open folder, so a path of any length can be removed.

char gPendingName[NAME_MAX + 1];
volatile std::sig_atomic_t gPendingDirFd = -1;
volatile std::sig_atomic_t gHavePending = 0;
char gFileSizeMessage[512];
volatile std::sig_atomic_t gFileSizeMessageLength = 0;

extern "C" void onFatalSignal(int sig) {
    if (gHavePending != 0) unlinkat(gPendingDirFd, gPendingName, 0);
    if (sig == SIGXFSZ) {
        if (gFileSizeMessageLength > 0) {
            const ssize_t ignored =
                ::write(STDERR_FILENO, gFileSizeMessage, static_cast<size_t>(gFileSizeMessageLength));
            (void)ignored;
        }
        _exit(kExitFailure);
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Signals the user or the system may end a render with, and those of a
// plug-in that crashes. One that was ignored when the host started (nohup,
// a test that wants the plain write error) stays ignored. The handler
// removes the temporary output and raises the signal again with its
// default action, so the exit status and any core dump stay as they were.
void installSignalCleanup() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = onFatalSignal;
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, nullptr);
    }
}

void setPendingTemp(int dirFd, const std::string& name, const std::string& shownPath) {
    gHavePending = 0;
    std::snprintf(gPendingName, sizeof gPendingName, "%s", name.c_str());
    gPendingDirFd = dirFd;
    constexpr int kRoom = static_cast<int>(sizeof gFileSizeMessage);
    int n = std::snprintf(gFileSizeMessage, sizeof gFileSizeMessage,
                          "halvorine-host: cannot write '%s': the file-size limit (ulimit -f)"
                          " is reached\n",
                          shownPath.c_str());
    if (n >= kRoom) {
        n = kRoom - 1;
        gFileSizeMessage[n - 1] = '\n';
    }
    gFileSizeMessageLength = n;
    gHavePending = name.size() < sizeof gPendingName ? 1 : 0;
}

void clearPendingTemp() {
    gHavePending = 0;
    gFileSizeMessageLength = 0;
}

// ---------------------------------------------------------------------------
// Standard input through a pipe. libsndfile reads WAV, AIFF and Ogg from a
// pipe itself, but its FLAC reader loses the bytes it looked at to tell the
// type. For FLAC the host hands libsndfile the pipe as a file that can be
// read on and seek back only into what it has read while opening.

// The first `want` bytes waiting in the pipe `fd`, left unread there.
std::string peekPipe(int fd, std::size_t want) {
    int copy[2];
    if (pipe2(copy, O_CLOEXEC) != 0) return {};
    std::string seen;
    for (int attempt = 0; attempt < 200; ++attempt) {
        const ssize_t n = tee(fd, copy[1], want, 0);
        if (n <= 0) break;  // the end, or not a pipe
        std::array<char, 64> buf{};
        const ssize_t got = ::read(copy[0], buf.data(), std::min<std::size_t>(buf.size(), static_cast<std::size_t>(n)));
        if (got <= 0) break;
        seen.assign(buf.data(), static_cast<std::size_t>(got));
        if (seen.size() >= want) break;
        // The writer has sent only a few bytes so far: give it a moment.
        const timespec pause{0, 5'000'000};
        nanosleep(&pause, nullptr);
    }
    ::close(copy[0]);
    ::close(copy[1]);
    return seen;
}

}  // namespace

class PipeSource {
public:
    explicit PipeSource(int fd) : fd_(fd) {}

    // After opening, libsndfile reads straight on: stop keeping what it
    // reads (what was kept stays readable).
    void opened() { keep_ = false; }

    SF_VIRTUAL_IO* io() { return &io_; }

private:
    sf_count_t readOn(char* out, sf_count_t bytes) {
        sf_count_t done = 0;
        while (done < bytes) {
            const ssize_t got = ::read(fd_, out + done, static_cast<std::size_t>(bytes - done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            if (keep_) kept_.insert(kept_.end(), out + done, out + done + got);
            done += got;
        }
        streamPos_ += done;
        return done;
    }

    sf_count_t seekTo(sf_count_t target) {
        const auto keptEnd = static_cast<sf_count_t>(kept_.size());
        if (target < 0) return -1;
        if (target <= keptEnd && (keptEnd == streamPos_ || target < keptEnd)) {
            pos_ = target;
            return pos_;
        }
        if (target < streamPos_) return -1;  // behind what was kept
        // Forward: read and drop.
        std::array<char, 4096> buf{};
        pos_ = streamPos_;
        while (pos_ < target) {
            const sf_count_t got = readOn(buf.data(), std::min<sf_count_t>(buf.size(), target - pos_));
            if (got <= 0) break;
            pos_ = streamPos_;
        }
        return pos_;
    }

    sf_count_t readAt(void* ptr, sf_count_t bytes) {
        auto* out = static_cast<char*>(ptr);
        sf_count_t done = 0;
        const auto keptEnd = static_cast<sf_count_t>(kept_.size());
        if (pos_ < keptEnd) {
            const sf_count_t n = std::min(bytes, keptEnd - pos_);
            std::memcpy(out, kept_.data() + pos_, static_cast<std::size_t>(n));
            pos_ += n;
            done = n;
        }
        if (done < bytes && pos_ == streamPos_) {
            done += readOn(out + done, bytes - done);
            pos_ = streamPos_;
        }
        return done;
    }

    static PipeSource* self(void* user) { return static_cast<PipeSource*>(user); }
    static sf_count_t length(void*) { return SF_COUNT_MAX; }
    static sf_count_t seek(sf_count_t offset, int whence, void* user) {
        PipeSource* s = self(user);
        if (whence == SEEK_SET) return s->seekTo(offset);
        if (whence == SEEK_CUR) return s->seekTo(s->pos_ + offset);
        return -1;
    }
    static sf_count_t read(void* ptr, sf_count_t bytes, void* user) {
        return self(user)->readAt(ptr, bytes);
    }
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t tell(void* user) { return self(user)->pos_; }

    int fd_;
    bool keep_ = true;
    std::vector<char> kept_;  // the stream's first bytes, from offset 0
    sf_count_t pos_ = 0;
    sf_count_t streamPos_ = 0;
    SF_VIRTUAL_IO io_{length, seek, read, write, tell};
};

// ---------------------------------------------------------------------------

InputFile::InputFile(const std::string& path, const std::string& role)
    : path_(path), role_(role) {
    if (path == "-") {
        openStandardInput();
    } else {
        std::error_code ec;
        const auto status = fs::status(path, ec);
        if (!fs::exists(status)) fail(role + " '" + path + "' does not exist");
        if (fs::is_directory(status)) fail(role + " '" + path + "' is a folder, not an audio file");
        file_ = sf_open(path.c_str(), SFM_READ, &info_);
    }
    if (file_ == nullptr) {
        fail("cannot read " + describe() + ": " + sf_strerror(nullptr));
    }
    // The length is unknown when libsndfile says so, and for a WAV read
    // through a pipe whose header has a streaming placeholder for the data
    // size (0xFFFFFFFF; sox writes about 2 GiB) in place of a real one.
    const int bytes = bytesPerSample(info_.format & SF_FORMAT_SUBMASK);
    const int container = info_.format & SF_FORMAT_TYPEMASK;
    const bool streamedWav =
        info_.seekable == 0 && bytes > 0 && (container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX) &&
        static_cast<std::uint64_t>(info_.frames) * static_cast<std::uint64_t>(bytes * info_.channels) >=
            0x7F000000ull;
    lengthKnown_ = info_.frames >= 0 && info_.frames != SF_COUNT_MAX && !streamedWav;
}

void InputFile::openStandardInput() {
    struct stat st {};
    if (fstat(STDIN_FILENO, &st) != 0) fail("cannot read standard input: " + errnoText());
    if (S_ISFIFO(st.st_mode) && peekPipe(STDIN_FILENO, 4) == "fLaC") {
        pipe_ = std::make_unique<PipeSource>(STDIN_FILENO);
        file_ = sf_open_virtual(pipe_->io(), SFM_READ, &info_, pipe_.get());
        pipe_->opened();
        // Its length is unknown unless the stream's header gives it.
        info_.seekable = 0;
        return;
    }
    file_ = sf_open_fd(STDIN_FILENO, SFM_READ, &info_, SF_FALSE);
}

InputFile::~InputFile() {
    if (file_ != nullptr) sf_close(file_);
}

std::string InputFile::describe() const {
    return path_ == "-" ? role_ + " (standard input)" : role_ + " '" + path_ + "'";
}

namespace {
constexpr std::size_t kReadAheadFrames = 16384;  // read in large pieces, as writes are made
}  // namespace

std::size_t InputFile::read(float* interleaved, std::size_t frames) {
    const auto channels = static_cast<std::size_t>(info_.channels);
    std::size_t done = 0;
    while (done < frames) {
        if (aheadPos_ == aheadFrames_) {
            if (ended_) break;
            readAhead();
            if (aheadFrames_ == 0) break;
        }
        const std::size_t n = std::min(frames - done, aheadFrames_ - aheadPos_);
        std::copy_n(ahead_.data() + aheadPos_ * channels, n * channels,
                    interleaved + done * channels);
        aheadPos_ += n;
        done += n;
    }
    for (std::size_t i = 0; i < done * channels; ++i) {
        if (!std::isfinite(interleaved[i])) {
            interleaved[i] = 0.0f;
            ++nonFinite_;
        }
    }
    framesRead_ += static_cast<sf_count_t>(done);
    return done;
}

void InputFile::readAhead() {
    const auto channels = static_cast<std::size_t>(info_.channels);
    ahead_.resize(kReadAheadFrames * channels);
    aheadPos_ = 0;
    aheadFrames_ = 0;
    while (aheadFrames_ < kReadAheadFrames) {
        const sf_count_t got = sf_readf_float(file_, ahead_.data() + aheadFrames_ * channels,
                                              static_cast<sf_count_t>(kReadAheadFrames - aheadFrames_));
        if (got <= 0) break;
        aheadFrames_ += static_cast<std::size_t>(got);
    }
    if (aheadFrames_ < kReadAheadFrames) {
        ended_ = true;
        const int error = sf_error(file_);
        if (error == SF_ERR_SYSTEM) {
            fail("error reading " + describe() + ": " + sf_strerror(file_));
        }
        // A decoder that stops on damaged or cut-off data ends the input
        // there, as an input that is simply short.
        if (error != SF_ERR_NO_ERROR) endReason_ = sf_strerror(file_);
    }
}

std::string InputFile::shortfall() const {
    const std::string reason = endReason_.empty() ? "" : " (" + endReason_ + ")";
    if (lengthKnown_ && framesRead_ < info_.frames) {
        return "the " + describe() + " holds " + seconds(framesRead_, info_.samplerate) +
               ", less than the " + seconds(info_.frames, info_.samplerate) +
               " its header gives" + reason;
    }
    if (!endReason_.empty()) {
        return "the " + describe() + " ends early after " + seconds(framesRead_, info_.samplerate) +
               reason;
    }
    // libsndfile trims a cut-off WAV or AIFF to what the file holds and
    // says so only in its log.
    std::array<char, 8192> log{};
    sf_command(file_, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    log.back() = '\0';
    for (const char* chunk : {"data : ", "SSND : "}) {
        const char* at = std::strstr(log.data(), chunk);
        if (at == nullptr) continue;
        const char* lineEnd = std::strchr(at, '\n');
        const std::string line(at, lineEnd != nullptr ? lineEnd : at + std::strlen(at));
        if (line.find("(should be") != std::string::npos) {
            return "the " + describe() + " holds " + seconds(framesRead_, info_.samplerate) +
                   ", less than its header gives: the file is cut short";
        }
    }
    return {};
}

// ---------------------------------------------------------------------------

bool OutputType::compressed() const {
    return container == SF_FORMAT_FLAC || container == SF_FORMAT_OGG ||
           container == SF_FORMAT_MPEG || bytesPerSample(subtype) == 0;
}

bool OutputType::integer() const {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32: return true;
        default: return false;
    }
}

namespace {

bool writable(int container, int subtype, int rate = 48000) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = container | subtype;
    return sf_format_check(&info) != 0;
}

// The encodings a format name may stand for, the first one that the
// container takes being used.
std::vector<int> subtypesFor(SampleFormat format) {
    switch (format) {
        case SampleFormat::pcm8: return {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8};
        case SampleFormat::pcm16: return {SF_FORMAT_PCM_16};
        case SampleFormat::pcm24: return {SF_FORMAT_PCM_24};
        case SampleFormat::pcm32: return {SF_FORMAT_PCM_32};
        case SampleFormat::float32: return {SF_FORMAT_FLOAT};
        case SampleFormat::float64: return {SF_FORMAT_DOUBLE};
        case SampleFormat::vorbis: return {SF_FORMAT_VORBIS};
        case SampleFormat::opus: return {SF_FORMAT_OPUS};
    }
    return {};
}

int subtypeIn(int container, SampleFormat format) {
    for (int subtype : subtypesFor(format)) {
        if (writable(container, subtype)) return subtype;
    }
    return 0;
}

constexpr SampleFormat kAllFormats[] = {
    SampleFormat::pcm8,    SampleFormat::pcm16,   SampleFormat::pcm24,  SampleFormat::pcm32,
    SampleFormat::float32, SampleFormat::float64, SampleFormat::vorbis, SampleFormat::opus};

std::string formatsOf(int container) {
    std::vector<std::string> names;
    for (SampleFormat f : kAllFormats) {
        if (subtypeIn(container, f) != 0) names.emplace_back(formatName(f));
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : (i + 1 == names.size() ? " or " : ", ");
        text += names[i];
    }
    return text;
}

// libsndfile's container for a file name's extension.
int containerFor(const std::string& path, const std::string& ext) {
    if (ext == "aif" || ext == "aiff" || ext == "aifc") return SF_FORMAT_AIFF;
    if (ext == "ogg" || ext == "oga" || ext == "opus") return SF_FORMAT_OGG;
    if (ext == "wav") return SF_FORMAT_WAV;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count && !ext.empty(); ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension != nullptr && ext == info.extension) return info.format;
    }
    if (ext.empty()) {
        usageError("cannot tell the file type of '" + path +
                   "': its name has no extension; end it in .wav, .flac, .ogg, .aiff or"
                   " another type libsndfile writes");
    }
    usageError("cannot write '" + path + "': libsndfile knows no file type with the extension ." +
               ext + "; use .wav, .flac, .ogg, .opus, .aiff, .caf, .w64 or .rf64");
}

}  // namespace

OutputType outputType(const std::string& path, std::optional<SampleFormat> format, int sampleRate) {
    OutputType type;
    const std::string ext = lowerExtension(path);
    type.extension = ext;
    type.container = containerFor(path, ext);
    const bool opusName = ext == "opus";
    if (!format) {
        switch (type.container) {
            case SF_FORMAT_FLAC: format = SampleFormat::pcm24; break;
            case SF_FORMAT_OGG: format = opusName ? SampleFormat::opus : SampleFormat::vorbis; break;
            default: {
                format = SampleFormat::float32;
                if (subtypeIn(type.container, *format) != 0) break;
                for (SampleFormat f : {SampleFormat::pcm24, SampleFormat::pcm16, SampleFormat::pcm8}) {
                    if (subtypeIn(type.container, f) != 0) {
                        format = f;
                        break;
                    }
                }
            }
        }
    }
    type.format = *format;
    type.subtype = subtypeIn(type.container, *format);
    if (type.subtype == 0) {
        if (*format == SampleFormat::opus && !writable(SF_FORMAT_OGG, SF_FORMAT_OPUS)) {
            usageError("cannot write '" + path + "': this libsndfile was built without Opus");
        }
        const std::string takes = formatsOf(type.container);
        usageError("a ." + ext + " file cannot hold " + formatName(*format) + " samples" +
                   (takes.empty() ? std::string() : "; it takes " + takes));
    }
    const bool opusRate = sampleRate == 8000 || sampleRate == 12000 || sampleRate == 16000 ||
                          sampleRate == 24000 || sampleRate == 48000;
    if (sampleRate > 0 && (!writable(type.container, type.subtype, sampleRate) ||
                           (type.subtype == SF_FORMAT_OPUS && !opusRate))) {
        if (type.subtype == SF_FORMAT_OPUS) {
            usageError("Opus takes only 8000, 12000, 16000, 24000 or 48000 Hz, and the inputs are " +
                       std::to_string(sampleRate) + " Hz: resample them, or write another type");
        }
        usageError("a ." + ext + " file cannot hold " + formatName(*format) + " samples at " +
                   std::to_string(sampleRate) + " Hz");
    }
    return type;
}

namespace {

// The file a path names once symbolic links are followed; the last one may
// point to a file that does not exist yet.
fs::path followLinks(const std::string& path) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) fail("cannot follow the link '" + p.string() + "': " + ec.message());
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    fail("cannot write '" + path + "': too many levels of symbolic links");
}

// Whether `target` exists; refuses what may not be replaced.
bool checkExistingTarget(const std::string& shown, const fs::path& target, struct stat& st) {
    if (stat(target.c_str(), &st) != 0) {
        if (errno == ENOENT) return false;
        fail("cannot write '" + shown + "': " + errnoText());
    }
    if (S_ISDIR(st.st_mode)) fail("output '" + shown + "' is a folder");
    if (!S_ISREG(st.st_mode)) fail("output '" + shown + "' is not a regular file");
    if (access(target.c_str(), W_OK) != 0) {
        fail("cannot replace '" + shown + "': you have no write permission on it");
    }
    return true;
}

// ".NAME.partial-XXXXXX", with NAME shortened so that the whole fits
// wherever NAME itself fits.
std::string tempName(const std::string& name, long nameMax) {
    const std::string suffix = ".partial-XXXXXX";
    const std::size_t room =
        nameMax > 0 ? static_cast<std::size_t>(nameMax) - 1 - suffix.size() : name.size();
    std::size_t keep = std::min(name.size(), room);
    // Do not cut a UTF-8 character in two.
    while (keep > 0 && keep < name.size() &&
           (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    std::string temp = ".";  // built in steps: GCC 12 misreads "." + string&& (-Wrestrict)
    temp.append(name, 0, keep);
    temp += suffix;
    return temp;
}

// The most audio bytes that a container with 32-bit size fields can
// describe, with room for its header; 0 for the others.
constexpr std::uint64_t kSmallLimit = 0xFFFFFFFFull - 65536;

std::uint64_t byteLimitOf(int container) {
    switch (container) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
        case SF_FORMAT_AIFF:
        case SF_FORMAT_AU: return kSmallLimit;
        default: return 0;
    }
}

std::string tooBig(const std::string& path, const OutputType& type) {
    return "cannot write '" + path + "': it would pass 4 GiB, more than a ." + type.extension +
           " file can hold; write .rf64, .w64 or .caf instead";
}

}  // namespace

void checkOutputTarget(const std::string& path) {
    struct stat st {};
    const fs::path target = followLinks(path);
    checkExistingTarget(path, target, st);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        fail("cannot write '" + path + "': folder '" + dir.string() + "' does not exist");
    }
}

OutputFile::OutputFile(const std::string& path, int channels, int sampleRate,
                       const OutputType& type, std::optional<std::int64_t> expectedFrames)
    : path_(path), type_(type), channels_(channels) {
    const fs::path target = followLinks(path);
    target_ = target.string();
    struct stat old {};
    const bool replacing = checkExistingTarget(path, target, old);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        fail("cannot write '" + path + "': folder '" + dir.string() + "' does not exist");
    }

    installSignalCleanup();
    dirFd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) fail("cannot write into folder '" + dir.string() + "': " + errnoText());
    std::string name = tempName(target.filename().string(), fpathconf(dirFd_, _PC_NAME_MAX));
    std::string pattern = (dir / name).string();
    fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        const std::string why = errnoText();
        discard();
        fail("cannot write into folder '" + dir.string() + "': " + why);
    }
    tempPath_ = pattern;
    setPendingTemp(dirFd_, fs::path(tempPath_).filename().string(), path);

    if (replacing) {
        // Keep the old file's owner where allowed, and its permissions.
        if (fchown(fd_, old.st_uid, old.st_gid) != 0) {
            // Not the owner's to give away: the file becomes the user's.
        }
        fchmod(fd_, old.st_mode & 07777);
    } else {
        // mkstemp makes the file private; give it the permissions a new
        // file would get.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd_, 0666 & ~mask);
    }

    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    // A plain WAV's sizes are 32-bit. A .wav output that may not fit is
    // written as RF64, which libsndfile turns back into a (WAVE_FORMAT_
    // EXTENSIBLE) WAV when it closes a file that fits after all.
    const auto frameBytes = static_cast<std::uint64_t>(channels * bytesPerSample(type.subtype));
    const bool fitsWav = expectedFrames && *expectedFrames >= 0 &&
                         static_cast<std::uint64_t>(*expectedFrames) * frameBytes <= kSmallLimit;
    const bool rf64 = type.container == SF_FORMAT_WAV && !fitsWav;
    info.format = (rf64 ? SF_FORMAT_RF64 : type.container) | type.subtype;
    file_ = sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr) {
        const std::string why = sf_strerror(nullptr);
        discard();
        fail("cannot write '" + path + "': " + why);
    }
    if (rf64) sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    // Integer formats: clip instead of wrapping around.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // Float files: no PEAK chunk, whose upkeep scans every sample written.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    byteLimit_ = rf64 ? 0 : byteLimitOf(type.container);
    if (byteLimit_ != 0 && expectedFrames &&
        static_cast<std::uint64_t>(*expectedFrames) * frameBytes > byteLimit_) {
        const std::string why = tooBig(path, type);
        discard();
        fail(why);
    }
}

OutputFile::~OutputFile() { discard(); }

namespace {
constexpr std::size_t kPendingFrames = 16384;  // 128 KiB of stereo float
}  // namespace

void OutputFile::write(const float* interleaved, std::size_t frames) {
    if (byteLimit_ != 0) {
        const auto bytes = static_cast<std::uint64_t>(framesWritten_ + static_cast<std::int64_t>(frames)) *
                           static_cast<std::uint64_t>(channels_ * bytesPerSample(type_.subtype));
        if (bytes > byteLimit_) {
            fail(tooBig(path_, type_));
        }
    }
    const auto channels = static_cast<std::size_t>(channels_);
    pending_.insert(pending_.end(), interleaved, interleaved + frames * channels);
    framesWritten_ += static_cast<std::int64_t>(frames);
    if (pending_.size() >= kPendingFrames * channels) flush();
}

void OutputFile::flush() {
    const auto frames = static_cast<sf_count_t>(pending_.size() / static_cast<std::size_t>(channels_));
    if (frames == 0) return;
    const sf_count_t written = sf_writef_float(file_, pending_.data(), frames);
    if (written != frames) {
        fail("error writing '" + path_ + "': " + sf_strerror(file_));
    }
    pending_.clear();
}

void OutputFile::commit() {
    flush();
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) fail("error finishing '" + path_ + "': " + sf_error_number(closed));
    if (fsync(fd_) != 0) fail("error finishing '" + path_ + "': " + errnoText());
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail("error finishing '" + path_ + "': " + errnoText());
    verify();
    if (std::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        fail("cannot move the finished output into place as '" + path_ + "': " + errnoText());
    }
    clearPendingTemp();
    tempPath_.clear();
    fsync(dirFd_);  // the rename itself; the data is safe already
    ::close(dirFd_);
    dirFd_ = -1;
}

// libsndfile does not always report a failed last write (its FLAC writer
// drops it), so read the file back: its header must give every frame, and
// a compressed one must decode to every frame.
void OutputFile::verify() {
    SF_INFO info{};
    SNDFILE* file = sf_open(tempPath_.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        fail("'" + path_ + "' came out unreadable (" + sf_strerror(nullptr) +
             "); the disk may be full or a size limit reached");
    }
    sf_count_t frames = info.frames;
    bool damaged = false;
    if (type_.compressed()) {
        std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
        frames = 0;
        while (const sf_count_t got = sf_readf_float(file, block.data(), 4096)) {
            if (got < 0) break;
            frames += got;
        }
        damaged = sf_error(file) != SF_ERR_NO_ERROR;
    }
    sf_close(file);
    if (damaged || frames != framesWritten_) {
        fail("'" + path_ + "' came out short: it holds " + std::to_string(frames) + " of the " +
             std::to_string(framesWritten_) +
             " frames written; the disk may be full or a size limit reached");
    }
}

void OutputFile::discard() noexcept {
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        clearPendingTemp();
        unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    if (dirFd_ >= 0) {
        ::close(dirFd_);
        dirFd_ = -1;
    }
}

}  // namespace halvorine::host
