#include "RealExecutable.hpp"

#include "MountTable.hpp"
#include "OwnershipWalk.hpp"
#include "ProcessFiles.hpp"
#include "SigningIdentifier.hpp"

#include "CorvaneCore/Support/Unicode.hpp"
#include "platform/FileDescriptor.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::platform {

namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

bool sameMountNamespace(int pid) {
    struct stat own {}, other {};
    return ::stat("/proc/self/ns/mnt", &own) == 0 &&
           ::stat((procfs::processDirectory(pid) + "/ns/mnt").c_str(), &other) == 0 && own.st_dev == other.st_dev &&
           own.st_ino == other.st_ino;
}

// The path in the daemon's view that shows the place `path` names in the
// process's view, when the file there is `file`; with whether it is trusted.
std::optional<std::pair<std::string, bool>> translated(int pid, const std::string& path, int root,
                                                       OwnershipWalk::Expected file) {
    const auto theirs = MountTable::ofProcess(pid);
    const auto ours = MountTable::ofProcess(static_cast<int>(::getpid()));
    if (!theirs || !ours) return std::nullopt;
    const auto place = theirs->placeOf(path);
    if (!place) return std::nullopt;
    for (const auto& candidate : ours->pathsOf(*place)) {
        if (const auto found = OwnershipWalk::find(root, candidate); found && found->file == file)
            return std::pair(candidate, found->trusted);
    }
    return std::nullopt;
}

}  // namespace

RealExecutable RealExecutable::of(int pid, PackageIndex& packages) {
    if (pid < 1) return {};
    const auto directory = procfs::processDirectory(pid);
    const FileDescriptor executable(::open((directory + "/exe").c_str(), O_PATH | O_CLOEXEC));
    struct stat info {};
    const auto reported = procfs::readLink(directory + "/exe");
    if (executable.get() < 0 || ::fstat(executable.get(), &info) != 0 || !reported || !reported->starts_with('/'))
        return {};
    const OwnershipWalk::Expected file{info.st_dev, info.st_ino};
    const FileDescriptor root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (root.get() < 0) return {};

    std::string_view claimed = *reported;
    const bool deleted = claimed.size() > kDeletedSuffix.size() && claimed.ends_with(kDeletedSuffix);
    if (deleted) claimed.remove_suffix(kDeletedSuffix.size());
    RealExecutable result;
    std::optional<OwnershipWalk::Found> atClaim;
    if (!deleted) atClaim = OwnershipWalk::find(root.get(), claimed);
    if (atClaim && atClaim->file == file) {
        result.path = std::string(claimed);
        result.valid = atClaim->trusted;
    } else if (sameMountNamespace(pid)) {
        result.path = std::string(claimed);
    } else if (const auto found = translated(pid, std::string(claimed), root.get(), file)) {
        result.path = found->first;
        result.valid = found->second && SigningIdentifier::flatpakApplicationID(found->first).has_value();
    }
    result.platformBinary = result.valid && packages.containsFile(*result.path);
    if (result.path) result.path = unicode::replacingInvalidUTF8(*result.path);
    result.signingIdentifier = SigningIdentifier::of(result.path, result.valid);
    return result;
}

}  // namespace corvane::platform
