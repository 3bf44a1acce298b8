#include "ProcessFiles.hpp"

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace corvane::platform::procfs {

std::optional<std::string> readLink(const std::string& linkPath) {
    std::array<char, PATH_MAX> buffer{};
    const ssize_t length = ::readlink(linkPath.c_str(), buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return std::nullopt;
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::uintmax_t>(info.st_size) > limit) {
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    std::array<char, 4096> chunk{};
    while (true) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || content.size() + static_cast<std::size_t>(n) > limit) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(chunk.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

std::string processDirectory(int pid) { return "/proc/" + std::to_string(pid); }

}  // namespace corvane::platform::procfs
