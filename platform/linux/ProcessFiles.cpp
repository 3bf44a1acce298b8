#include "ProcessFiles.hpp"

#include "CorvaneCore/Support/Unicode.hpp"

#include <climits>
#include <fcntl.h>
#include <unistd.h>

#include <array>

namespace corvane::platform::procfs {

namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

}  // namespace

std::optional<std::string> readLink(const std::string& linkPath) {
    std::array<char, PATH_MAX> buffer{};
    const ssize_t length = ::readlink(linkPath.c_str(), buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return std::nullopt;
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::optional<std::string> executablePathFromLink(const std::string& linkPath) {
    auto target = readLink(linkPath);
    if (!target) return std::nullopt;
    std::string_view text = *target;
    if (text.size() > kDeletedSuffix.size() && text.ends_with(kDeletedSuffix))
        text.remove_suffix(kDeletedSuffix.size());
    return unicode::replacingInvalidUTF8(text);
}

std::optional<std::string> executablePath(int pid) {
    if (pid < 1) return std::nullopt;
    return executablePathFromLink(processDirectory(pid) + "/exe");
}

std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
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
