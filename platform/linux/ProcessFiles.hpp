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

// The whole content of a small regular file (at most `limit` bytes); nothing
// when it cannot be read, is larger, or is anything but a regular file. The
// last component is opened without following a link and without waiting, so
// a FIFO or a device planted where a file is expected is refused at once.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit = 65536);

std::string processDirectory(int pid);

}  // namespace corvane::platform::procfs
