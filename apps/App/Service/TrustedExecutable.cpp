#include "TrustedExecutable.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ServiceError.hpp"
#include "platform/FileDescriptor.hpp"
#include "platform/linux/OwnershipWalk.hpp"

namespace corvane::service::TrustedExecutable {

namespace {

[[noreturn]] void refuse(const std::filesystem::path& path, const std::string& reason) {
    throw ServiceError(ServiceError::Code::untrustedDaemon,
                       "The daemon “" + path.string() + "” is refused: " + reason);
}

}  // namespace

void require(const std::filesystem::path& path) {
    if (!path.is_absolute()) refuse(path, "its path is not absolute.");
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) refuse(path, "it does not exist.");
    if (!S_ISREG(info.st_mode) || (info.st_mode & S_IXUSR) == 0) refuse(path, "it is not an executable file.");
    const platform::FileDescriptor root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (root.get() < 0 || !platform::OwnershipWalk::passes(root.get(), path.string(), {info.st_dev, info.st_ino})) {
        refuse(path, std::string(kRefusal) + " " + kWhatToDo);
    }
}

}  // namespace corvane::service::TrustedExecutable
