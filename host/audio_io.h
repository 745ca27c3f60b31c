// Audio files through libsndfile: streamed reading of any format it knows,
// and writing that replaces the target only once everything is written.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <string>

#include "cli.h"

namespace halvorine::host {

class InputFile {
public:
    // `role` names the file in messages ("modulator", "carrier", "input").
    InputFile(const std::string& path, const std::string& role);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& role() const { return role_; }
    int channels() const { return info_.channels; }
    int sampleRate() const { return info_.samplerate; }
    sf_count_t frames() const { return info_.frames; }

    // Reads up to `frames` interleaved frames; fewer only at the end.
    std::size_t read(float* interleaved, std::size_t frames);

private:
    std::string path_;
    std::string role_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
};

// Writes into a temporary file beside `path` and renames it into place in
// commit(). Destroyed without commit (an error, an exception), or killed by
// SIGINT, SIGTERM or SIGHUP, it removes the temporary and leaves `path` as
// it was.
class OutputFile {
public:
    OutputFile(const std::string& path, int channels, int sampleRate, SampleFormat format);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const float* interleaved, std::size_t frames);
    void commit();

private:
    void discard() noexcept;

    std::string path_;
    std::string tempPath_;
    SNDFILE* file_ = nullptr;
};

// The libsndfile container for a file name's extension (.wav, .aiff,
// .flac, ...). Throws a usage error for a name it cannot place.
int containerForPath(const std::string& path);

// Whether libsndfile can write `format` samples into the container of
// `path`; throws a usage error when it cannot.
void checkOutputFormat(const std::string& path, SampleFormat format);

}  // namespace halvorine::host
