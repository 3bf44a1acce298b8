#pragma once

#include <cstddef>

namespace corvane::platform {

// The path of a process's executable, written into a caller's buffer.
class ExecutablePathLookup {
public:
    virtual ~ExecutablePathLookup() = default;

    // Writes up to `size` bytes of the path (no terminating zero is promised) and
    // returns how many bytes the path has, or a value below 1 when it is unknown.
    // A result of `size` or more means the path did not fit.
    virtual int pidPath(int pid, char* buffer, std::size_t size) const = 0;
};

}  // namespace corvane::platform
