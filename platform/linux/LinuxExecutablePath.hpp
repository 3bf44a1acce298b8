#pragma once

#include "ProcessIdentityCache.hpp"
#include "platform/ExecutablePathLookup.hpp"

#include <memory>

namespace corvane::platform {

// Executable paths of the processes the owner lookup identified: where the
// daemon found the file each really executes (RealExecutable), never the
// path the process's own view gives it. Linux paths reach PATH_MAX - 1
// bytes; a path is either whole or reported as not fitting, never cut.
class LinuxExecutablePath final : public ExecutablePathLookup {
public:
    explicit LinuxExecutablePath(std::shared_ptr<const ProcessIdentityCache> identities);

    int pidPath(int pid, char* buffer, std::size_t size) const override;

private:
    std::shared_ptr<const ProcessIdentityCache> identities_;
};

}  // namespace corvane::platform
