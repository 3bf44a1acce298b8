#include "LinuxExecutablePath.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

namespace corvane::platform {

LinuxExecutablePath::LinuxExecutablePath(std::shared_ptr<const ProcessIdentityCache> identities)
    : identities_(std::move(identities)) {}

int LinuxExecutablePath::pidPath(int pid, char* buffer, std::size_t size) const {
    if (pid < 1) return 0;
    const auto path = identities_->pathOf(pid);
    if (!path || path->empty() || path->size() > INT_MAX) return 0;
    std::memcpy(buffer, path->data(), std::min(size, path->size()));
    return static_cast<int>(path->size());
}

}  // namespace corvane::platform
