#pragma once

#include <unistd.h>

namespace corvane::platform {

// Owns one open file descriptor and closes it when it goes away; a negative
// value (a failed open) owns nothing.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace corvane::platform
