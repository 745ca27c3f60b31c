// A one-line progress bar on stderr for long renders.
#pragma once

#include <chrono>
#include <cstdint>

namespace halvorine::host {

class Progress {
public:
    // Shown only when `enabled`, stderr is a terminal and the render is
    // longer than a few seconds of audio. A negative total is unknown: then
    // the line shows the audio time done, without a bar.
    Progress(std::int64_t totalFrames, int sampleRate, bool enabled);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(std::int64_t framesDone);
    void finish(std::int64_t framesDone);

private:
    void draw(std::int64_t framesDone);

    std::int64_t total_;
    int rate_;
    bool shown_;
    bool drawn_ = false;
    int lastPermille_ = -1;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace halvorine::host
