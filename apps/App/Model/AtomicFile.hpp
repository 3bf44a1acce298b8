#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>

namespace corvane::app {

// Replaces a file as a whole: the bytes go to a new file beside it, created with
// `mode`, flushed to disk and then renamed over the old one, so a reader sees
// either the old or the new content and a failed write leaves the old file.
class AtomicFile {
public:
    // A write that failed; what() names the file and the system's reason.
    class WriteError : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // Throws WriteError.
    static void write(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, mode_t mode);
};

}  // namespace corvane::app
