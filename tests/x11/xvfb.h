// A private X server for tests: Xvfb started with -displayfd, so it picks a
// free display number itself, and stopped by its process id.
#pragma once

#include <sys/types.h>

#include <string>

namespace halvorine::test {

class Xvfb {
public:
    Xvfb() = default;
    ~Xvfb() { stop(); }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    // Starts the server with one screen of the given geometry ("1024x768x24")
    // and sets DISPLAY for this process. False, with `error()` saying why,
    // when it does not come up within a few seconds.
    bool start(const std::string& screen = "1600x1000x24");  // room for the editor at 3x
    void stop();
    const std::string& display() const { return display_; }
    const std::string& error() const { return error_; }

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string error_;
};

}  // namespace halvorine::test
