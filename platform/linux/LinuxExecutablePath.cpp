#include "LinuxExecutablePath.hpp"

#include "ProcessFiles.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

namespace corvane::platform {

LinuxExecutablePath::LinuxExecutablePath(std::string procRoot) : procRoot_(std::move(procRoot)) {}

int LinuxExecutablePath::pidPath(int pid, char* buffer, std::size_t size) const {
    if (pid < 1) return 0;
    const auto path = procfs::executablePathFromLink(procRoot_ + "/" + std::to_string(pid) + "/exe");
    if (!path || path->empty() || path->size() > INT_MAX) return 0;
    std::memcpy(buffer, path->data(), std::min(size, path->size()));
    return static_cast<int>(path->size());
}

}  // namespace corvane::platform
