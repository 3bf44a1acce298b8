#pragma once

#include "platform/ExecutablePathLookup.hpp"

#include <string>

namespace corvane::platform {

// Executable paths from /proc/PID/exe. Linux paths reach PATH_MAX - 1 bytes;
// the link is read into a buffer of that size, so a path is either whole or
// reported as unknown, never cut.
class LinuxExecutablePath final : public ExecutablePathLookup {
public:
    explicit LinuxExecutablePath(std::string procRoot = "/proc");

    int pidPath(int pid, char* buffer, std::size_t size) const override;

private:
    const std::string procRoot_;
};

}  // namespace corvane::platform
