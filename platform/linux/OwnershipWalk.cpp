#include "OwnershipWalk.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace corvane::platform {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

bool OwnershipWalk::isTrusted(const struct stat& info, uid_t owner) {
    return info.st_uid == owner && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool OwnershipWalk::passes(int rootDirectory, std::string_view path, Expected file, uid_t owner) {
    const auto found = find(rootDirectory, path, owner);
    return found && found->trusted && found->file == file;
}

std::optional<OwnershipWalk::Found> OwnershipWalk::find(int rootDirectory, std::string_view path, uid_t owner) {
    const auto reached = walk(rootDirectory, path, owner);
    if (!reached || !S_ISREG(reached->info.st_mode)) return std::nullopt;
    return Found{{reached->info.st_dev, reached->info.st_ino}, reached->trusted};
}

bool OwnershipWalk::isTrustedFolder(int rootDirectory, std::string_view path, uid_t owner) {
    const auto reached = walk(rootDirectory, path, owner);
    return reached && reached->trusted && S_ISDIR(reached->info.st_mode);
}

std::optional<OwnershipWalk::Reached> OwnershipWalk::walk(int rootDirectory, std::string_view path, uid_t owner) {
    if (!path.starts_with('/') || (path.size() > 1 && path.ends_with('/'))) return std::nullopt;
    Descriptor current(::openat(rootDirectory, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (current.get() < 0 || ::fstat(current.get(), &info) != 0) return std::nullopt;
    bool trusted = isTrusted(info, owner);
    std::size_t pos = 1;
    bool sawFile = false;
    while (pos < path.size()) {
        auto end = path.find('/', pos);
        if (end == std::string_view::npos) end = path.size();
        const std::string component(path.substr(pos, end - pos));
        pos = end + 1;
        if (component.empty() || component == "." || component == ".." || sawFile) return std::nullopt;
        Descriptor next(::openat(current.get(), component.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0 || ::fstat(next.get(), &info) != 0) return std::nullopt;
        trusted = trusted && isTrusted(info, owner);
        if (S_ISREG(info.st_mode)) {
            sawFile = true;
        } else if (!S_ISDIR(info.st_mode)) {
            return std::nullopt;
        }
        current = std::move(next);
    }
    return Reached{info, trusted};
}

}  // namespace corvane::platform
