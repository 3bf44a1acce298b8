#pragma once

#include <optional>
#include <string>

// Small readers of the per-process files under /proc that the owner lookup
// and the identity analogs share.
namespace corvane::platform::procfs {

// The target of a symbolic link, read into a PATH_MAX buffer. A target that
// fills the whole buffer may have been cut, so it yields nothing rather than
// a shorter, wrong path.
std::optional<std::string> readLink(const std::string& linkPath);

// The executable's path as the kernel reports it in `/proc/PID/exe`, without
// the " (deleted)" mark of a replaced file, as valid UTF-8 (U+FFFD for bytes
// that are not). Nothing for kernel threads, dead processes and cut paths.
std::optional<std::string> executablePath(int pid);

// The same for any link, for tests and for callers that hold the link path.
std::optional<std::string> executablePathFromLink(const std::string& linkPath);

// The whole content of a small file (at most `limit` bytes); nothing when it
// cannot be read or is larger.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit = 65536);

std::string processDirectory(int pid);

}  // namespace corvane::platform::procfs
