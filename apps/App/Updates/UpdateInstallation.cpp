#include "UpdateInstallation.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "ScratchFolder.hpp"
#include "UpdateError.hpp"

namespace corvane::updates::UpdateInstallation {

namespace fs = std::filesystem;

namespace {

// The most of tar's complaints kept for the message (its first is the cause).
constexpr std::size_t kMaxToolOutput = 4096;

std::string systemText(int error) { return std::strerror(error); }

// The first line tar (or gzip) wrote, or its exit status.
std::string firstLine(const std::string& output, int status) {
    const std::string line = output.substr(0, output.find('\n'));
    if (!line.empty()) return line;
    return "tar stopped with status " + std::to_string(status);
}

void unpack(const fs::path& archive, const fs::path& into) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw UpdateError("Could not unpack the update: " + systemText(errno) + ".");
    std::vector<std::string> arguments{"/bin/tar", "-xzf", archive.string(), "-C", into.string(), "--no-same-owner"};
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    char path[] = "PATH=/usr/bin:/bin";
    char* environment[] = {path, nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    std::string output;
    char buffer[512];
    while (spawned == 0) {
        const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output.size() < kMaxToolOutput) output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeEnds[0]);
    if (spawned != 0) throw UpdateError("Could not run tar to unpack the update: " + systemText(spawned) + ".");
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code != 0) throw UpdateError("Could not unpack the update: " + firstLine(output, code) + ".");
}

// The new folder gets the old one's mode (a new temporary folder is private).
void keepMode(const fs::path& folder, const fs::path& staging) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || ::chmod(staging.c_str(), info.st_mode & 07777) != 0) {
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

}  // namespace

bool isReleaseFolder(const fs::path& folder) {
    std::error_code error;
    return fs::is_regular_file(folder / kMarkerName, error) && fs::is_regular_file(folder / kAppPath, error) &&
           ::access((folder / kAppPath).c_str(), X_OK) == 0;
}

void install(const fs::path& archive, const UpdateSignature::Signature& signature,
             const UpdateSignature::PublicKey& key, const fs::path& folder) {
    if (!UpdateSignature::verifyFile(archive, signature, key)) {
        throw UpdateError(kNotSignedText);
    }
    if (!isReleaseFolder(folder)) {
        throw UpdateError("“" + folder.string() +
                          "” was not installed from a Corvane release, so it is not replaced.");
    }
    const ScratchFolder staging(folder, "update");
    unpack(archive, staging.path());
    if (!isReleaseFolder(staging.path())) throw UpdateError("The update archive does not hold a Corvane release.");
    keepMode(folder, staging.path());
    swapIn(staging.path(), folder);
}

}  // namespace corvane::updates::UpdateInstallation
