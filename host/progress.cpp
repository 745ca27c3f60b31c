#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace halvorine::host {

namespace {
constexpr double kShortRenderSeconds = 5.0;
constexpr int kBarWidth = 30;
}  // namespace

Progress::Progress(std::int64_t totalFrames, int sampleRate, bool enabled)
    : total_(totalFrames),
      rate_(sampleRate),
      shown_(enabled && isatty(STDERR_FILENO) == 1 && sampleRate > 0 &&
             (totalFrames < 0 ||
              static_cast<double>(totalFrames) / sampleRate > kShortRenderSeconds)) {}

Progress::~Progress() {
    // Interrupted by an error: end the bar's line so the message starts clean.
    if (shown_ && drawn_) std::fputc('\n', stderr);
}

void Progress::update(std::int64_t framesDone) {
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (total_ < 0) {
        // Unknown length: nothing to show for a render that may be short.
        if (static_cast<double>(framesDone) / rate_ <= kShortRenderSeconds) return;
        if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        draw(framesDone);
        return;
    }
    framesDone = std::min(framesDone, total_);
    const int permille = static_cast<int>(framesDone * 1000 / total_);
    if (permille == lastPermille_ || now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastPermille_ = permille;
    lastDraw_ = now;
    draw(framesDone);
}

void Progress::draw(std::int64_t framesDone) {
    if (total_ < 0) {
        std::fprintf(stderr, "\rrendering  %.1f s", static_cast<double>(framesDone) / rate_);
        std::fflush(stderr);
        drawn_ = true;
        return;
    }
    framesDone = std::min(framesDone, total_);
    const int filled = static_cast<int>(framesDone * kBarWidth / total_);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(stderr, "\rrendering [%s] %3d%%  %.1f / %.1f s", bar.c_str(),
                 static_cast<int>(framesDone * 100 / total_),
                 static_cast<double>(framesDone) / rate_, static_cast<double>(total_) / rate_);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::finish(std::int64_t framesDone) {
    if (!shown_) return;
    if (total_ >= 0 || drawn_) {
        draw(total_ >= 0 ? total_ : framesDone);
        std::fputc('\n', stderr);
    }
    shown_ = false;
}

}  // namespace halvorine::host
