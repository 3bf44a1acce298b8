#pragma once

#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace corvane::platform {

// The Linux meaning of "the code is validly signed": nobody but the owner
// (root in production) can have put the executable where it is. The walk
// opens every component of the path from the given root without following
// links and requires each, the root included, to be owned by `owner` and
// writable by neither group nor others; the last one must be a regular file
// that is the expected file (same device and inode), so a replaced binary fails.
// The same walk vouches for a folder that only the owner can fill.
class OwnershipWalk {
public:
    struct Expected {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Expected&) const = default;
    };
    // The regular file a path names and whether every component on the way,
    // the root and the file included, is trusted.
    struct Found {
        Expected file;
        bool trusted = false;
    };

    // `rootDirectory` is an open descriptor of the directory the absolute
    // `path` starts from ("/" or a process's /proc/PID/root).
    static bool passes(int rootDirectory, std::string_view path, Expected file, uid_t owner = 0);

    // The regular file at `path` below `rootDirectory`, reached the same way
    // (no links, only directories on the way); nothing when there is none.
    static std::optional<Found> find(int rootDirectory, std::string_view path, uid_t owner = 0);

    // Whether `path` below `rootDirectory`, reached the same way, is a folder
    // that is trusted, like every folder above it.
    static bool isTrustedFolder(int rootDirectory, std::string_view path, uid_t owner = 0);

private:
    // What the last component of a path is, and whether the whole way is trusted.
    struct Reached {
        struct stat info;
        bool trusted = false;
    };
    // Every component non-empty and no "." or "..": folders, and at most a
    // regular file at the end.
    static std::optional<Reached> walk(int rootDirectory, std::string_view path, uid_t owner);
    static bool isTrusted(const struct stat& info, uid_t owner);
};

}  // namespace corvane::platform
