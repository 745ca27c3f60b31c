// Failures the user can act on. Everything the host refuses is thrown as a
// HostError and turned into one line on stderr and an exit status in main();
// nothing of this ever reaches the plug-in's side of the interface.
#pragma once

#include <stdexcept>
#include <string>

namespace halvorine::host {

enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1,  // a file, the plug-in or the machine said no
    kExitUsage = 2,    // the command line itself is wrong
};

class HostError : public std::runtime_error {
public:
    HostError(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    int status() const noexcept { return status_; }

private:
    int status_;
};

[[noreturn]] inline void fail(const std::string& message) {
    throw HostError(kExitFailure, message);
}

[[noreturn]] inline void usageError(const std::string& message) {
    throw HostError(kExitUsage, message);
}

}  // namespace halvorine::host
