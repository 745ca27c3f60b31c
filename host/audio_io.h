// Audio files through libsndfile: streamed reading of any format it knows,
// from a file or standard input, and writing that replaces the target only
// once everything is written, flushed and checked.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"

namespace halvorine::host {

class PipeSource;

class InputFile {
public:
    // `role` names the file in messages ("modulator", "carrier", "input").
    // A `path` of "-" reads standard input.
    InputFile(const std::string& path, const std::string& role);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& role() const { return role_; }
    // "modulator 'm.wav'" or "modulator (standard input)".
    std::string describe() const;
    int channels() const { return info_.channels; }
    int sampleRate() const { return info_.samplerate; }

    // Whether the header tells the length; streamed files, Ogg without a
    // readable end and files read through a pipe often do not.
    bool lengthKnown() const { return lengthKnown_; }
    // The length the header gives; meaningful only when lengthKnown().
    sf_count_t headerFrames() const { return info_.frames; }

    // Reads up to `frames` interleaved frames; fewer only at the end, after
    // which it returns 0. Non-finite samples come back as silence.
    std::size_t read(float* interleaved, std::size_t frames);

    sf_count_t framesRead() const { return framesRead_; }
    std::int64_t nonFiniteSamples() const { return nonFinite_; }
    // Once the input has ended: why it holds less than its header says,
    // or an empty string when it does not.
    std::string shortfall() const;

private:
    void openStandardInput();
    void readAhead();

    std::string path_;
    std::string role_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
    std::unique_ptr<PipeSource> pipe_;
    bool lengthKnown_ = true;
    bool ended_ = false;
    std::string endReason_;  // the decoder's complaint when it stopped early
    sf_count_t framesRead_ = 0;
    std::int64_t nonFinite_ = 0;
    std::vector<float> ahead_;  // frames read from the file, not yet delivered
    std::size_t aheadPos_ = 0, aheadFrames_ = 0;
};

// What an output file is made of: libsndfile's container and sample
// encoding, and the --format name for messages.
struct OutputType {
    int container = 0;  // SF_FORMAT_WAV, SF_FORMAT_FLAC, ...
    int subtype = 0;    // SF_FORMAT_FLOAT, SF_FORMAT_PCM_24, ...
    SampleFormat format = SampleFormat::float32;
    bool compressed() const;   // the frame count shows only by decoding
    bool integer() const;      // samples beyond full scale are clipped
    std::string extension;     // as given, for messages
};

// The type for OUT's extension and --format (nothing: the container's
// usual format). Throws a usage error naming the reason when libsndfile
// cannot write it. With a sample rate, also checks that the encoding takes
// that rate.
OutputType outputType(const std::string& path, std::optional<SampleFormat> format,
                      int sampleRate = 0);

// Writes into a temporary file beside `path` (beside the file a symbolic
// link points to) and puts it in place in commit(), with the permissions
// of the file it replaces. Destroyed without commit (an error, an
// exception), or killed by SIGINT, SIGTERM, SIGHUP or SIGXFSZ, it removes
// the temporary and leaves `path` as it was.
class OutputFile {
public:
    // `expectedFrames`, when known, lets a .wav that will fit in 4 GiB be
    // a plain WAV; otherwise it is written as RF64, which libsndfile turns
    // into a WAV when the file turns out small enough.
    OutputFile(const std::string& path, int channels, int sampleRate, const OutputType& type,
               std::optional<std::int64_t> expectedFrames = std::nullopt);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Collects the frames and writes them in large pieces: one system call
    // per block would cost more than the effect at small blocks.
    void write(const float* interleaved, std::size_t frames);
    // Finishes the file, flushes it to the disk, reads it back to check
    // that it holds every frame written, and renames it into place.
    void commit();

private:
    void flush();
    void discard() noexcept;
    void verify();

    std::string path_;    // as given, for messages
    std::string target_;  // the file to replace: `path_` with links followed
    std::string tempPath_;
    OutputType type_;
    int channels_ = 0;
    int fd_ = -1;
    int dirFd_ = -1;
    SNDFILE* file_ = nullptr;
    std::int64_t framesWritten_ = 0;  // including those still pending
    std::uint64_t byteLimit_ = 0;  // 0: none
    std::vector<float> pending_;   // interleaved frames not yet written
};

// Checks, before any work, that `path` may be written as an output: not a
// folder or a device, and, when it exists, writable by the user.
void checkOutputTarget(const std::string& path);

}  // namespace halvorine::host
