#include "UpdateInstallation.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "BuildFile.hpp"
#include "ReleaseArchive.hpp"
#include "ReleaseOrder.hpp"
#include "ScratchFolder.hpp"
#include "StagedTree.hpp"
#include "UpdateError.hpp"

namespace corvane::updates::UpdateInstallation {

namespace fs = std::filesystem;

namespace {

std::string systemText(int error) { return std::strerror(error); }

// The new folder gets the old one's mode (a new temporary folder is private),
// less any write bit for others and any special bit.
void keepMode(const fs::path& folder, const fs::path& staging) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || ::chmod(staging.c_str(), info.st_mode & 0755) != 0) {
        throw UpdateError("Could not prepare the update beside “" + folder.string() + "”: " + systemText(errno) + ".");
    }
}

// Swaps the two folders' names at once; where the file system cannot, renames
// the old one aside and the new one in, putting the old one back on failure.
void swapIn(const fs::path& staging, const fs::path& folder) {
    if (::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE) == 0) return;
    if (errno != EINVAL && errno != ENOSYS) {
        throw UpdateError("Could not replace “" + folder.string() + "”: " + systemText(errno) + ".");
    }
    const fs::path aside = staging.string() + ".old";
    if (::rename(folder.c_str(), aside.c_str()) != 0) {
        throw UpdateError("Could not replace “" + folder.string() + "”: " + systemText(errno) + ".");
    }
    if (::rename(staging.c_str(), folder.c_str()) != 0) {
        const int error = errno;
        ::rename(aside.c_str(), folder.c_str());
        throw UpdateError("Could not replace “" + folder.string() + "”: " + systemText(error) + ".");
    }
    ::rename(aside.c_str(), staging.c_str());
}

// The build installed in `folder`, which the release must come after.
void requireNewer(const Release& release, const fs::path& folder) {
    const auto installed = BuildFile::read(folder / BuildFile::kInstalledPath);
    if (!installed) {
        throw UpdateError("The build installed in “" + folder.string() + "” cannot be read, so it is not replaced.");
    }
    if (!ReleaseOrder::isNewer(release.build, *installed)) {
        throw UpdateError("The update's build " + release.build + " is not newer than the installed build " +
                          *installed + ", so it was refused.");
    }
}

}  // namespace

bool isReleaseFolder(const fs::path& folder) {
    std::error_code error;
    return fs::is_regular_file(folder / kMarkerName, error) && fs::is_regular_file(folder / kAppPath, error) &&
           ::access((folder / kAppPath).c_str(), X_OK) == 0 &&
           fs::is_regular_file(folder / BuildFile::kInstalledPath, error);
}

void install(const fs::path& archive, const Release& release, const UpdateSignature::PublicKey& key,
             const fs::path& folder) {
    if (!UpdateSignature::verifyRelease(archive, release.version, release.build, release.signature, key)) {
        throw UpdateError(kNotSignedText);
    }
    if (!isReleaseFolder(folder)) {
        throw UpdateError("“" + folder.string() +
                          "” was not installed from a Corvane release, so it is not replaced.");
    }
    requireNewer(release, folder);
    const ScratchFolder staging(folder, "update");
    ReleaseArchive::unpack(archive, staging.path());
    if (!isReleaseFolder(staging.path())) throw UpdateError("The update archive does not hold a Corvane release.");
    keepMode(folder, staging.path());
    StagedTree::check(staging.path());
    swapIn(staging.path(), folder);
}

}  // namespace corvane::updates::UpdateInstallation
