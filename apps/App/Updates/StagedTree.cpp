#include "StagedTree.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#include "UpdateError.hpp"
#include "platform/FileDescriptor.hpp"

namespace corvane::updates::StagedTree {

namespace fs = std::filesystem;
using platform::FileDescriptor;

namespace {

[[noreturn]] void refuse(const std::string& entry, const std::string& why) {
    throw UpdateError("The unpacked update was refused: “" + entry + "” " + why + ".");
}

// Whether `relative` resolves, links and all, to something below `root`.
bool leadsInside(int root, const fs::path& relative) {
    open_how how{};
    how.flags = O_PATH | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const FileDescriptor target(static_cast<int>(::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how)));
    return target.get() >= 0;
}

void checkEntry(const struct stat& info, const std::string& name) {
    if (info.st_uid != ::geteuid()) refuse(name, "belongs to another user");
    if (S_ISLNK(info.st_mode)) return;
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) refuse(name, "is not a file, a folder or a link");
    if (info.st_mode & (S_ISUID | S_ISGID | S_ISVTX)) refuse(name, "carries a setuid, setgid or sticky bit");
    if (info.st_mode & (S_IWGRP | S_IWOTH)) refuse(name, "may be written by others than its owner");
}

}  // namespace

void check(const fs::path& folder) {
    const FileDescriptor root(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (root.get() < 0 || ::fstat(root.get(), &info) != 0) refuse(folder.string(), "cannot be read");
    checkEntry(info, folder.string());
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::path relative = it->path().lexically_relative(folder);
        if (::lstat(it->path().c_str(), &info) != 0) refuse(relative.string(), "cannot be read");
        checkEntry(info, relative.string());
        if (S_ISLNK(info.st_mode) && !leadsInside(root.get(), relative)) {
            refuse(relative.string(), "is a link that leads outside the update or nowhere");
        }
    }
    if (error) refuse(folder.string(), "cannot be read");
}

}  // namespace corvane::updates::StagedTree
