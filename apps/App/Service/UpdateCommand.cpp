#include "UpdateCommand.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ServiceError.hpp"
#include "Updates/ScratchFolder.hpp"
#include "Updates/UpdateError.hpp"
#include "Updates/UpdateInstallation.hpp"
#include "platform/FileDescriptor.hpp"
#include "platform/linux/OwnershipWalk.hpp"

namespace corvane::service::UpdateCommand {

namespace fs = std::filesystem;
using platform::FileDescriptor;

namespace {

[[noreturn]] void fail(const std::string& message) { throw ServiceError(ServiceError::Code::failed, message); }

// Every component of the absolute path, "/" included, is a real folder (no
// link) that belongs to root and that neither group nor others may write.
bool isTrustedFolder(const fs::path& folder) {
    const FileDescriptor root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return root.get() >= 0 && platform::OwnershipWalk::isTrustedFolder(root.get(), folder.string());
}

// A copy of the archive in `into` that nobody else can change any more.
fs::path privateCopy(const fs::path& archive, const fs::path& into) {
    FileDescriptor in(::open(archive.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (in.get() < 0 || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        fail("The update archive “" + archive.string() + "” cannot be read.");
    }
    const fs::path copy = into / "update.tar.gz";
    FileDescriptor out(::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) fail("Could not copy the update archive: " + std::string(std::strerror(errno)) + ".");
    std::uintmax_t total = 0;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("Could not read the update archive: " + std::string(std::strerror(errno)) + ".");
        if (n == 0) break;
        total += static_cast<std::uintmax_t>(n);
        if (total > updates::UpdateSignature::kMaxArchiveSize) fail("The update archive is too large.");
        for (ssize_t done = 0; done < n;) {
            const ssize_t written = ::write(out.get(), buffer + done, static_cast<std::size_t>(n - done));
            if (written < 0 && errno == EINTR) continue;
            if (written < 0) fail("Could not copy the update archive: " + std::string(std::strerror(errno)) + ".");
            done += written;
        }
    }
    return copy;
}

}  // namespace

void run(const Arguments& arguments, const updates::UpdateSignature::PublicKey& key) {
    const auto signature = updates::UpdateSignature::signatureFromBase64(arguments.signatureBase64);
    if (!signature) {
        throw ServiceError(ServiceError::Code::usage, "The update signature is not valid base64 of 64 bytes.");
    }
    const fs::path& folder = arguments.folder;
    if (!folder.is_absolute() || !isTrustedFolder(folder)) {
        fail("The install folder “" + folder.string() +
             "” is refused: it and every folder above it must belong to root and be writable by nobody else.");
    }
    try {
        const updates::ScratchFolder workspace(folder, "download");
        const updates::UpdateInstallation::Release release{std::string(arguments.version),
                                                          std::string(arguments.build), *signature};
        updates::UpdateInstallation::install(privateCopy(arguments.archive, workspace.path()), release, key, folder);
    } catch (const updates::UpdateError& e) {
        fail(e.what());
    }
}

}  // namespace corvane::service::UpdateCommand
