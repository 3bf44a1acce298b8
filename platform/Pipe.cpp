#include "platform/Pipe.hpp"

#include <fcntl.h>
#include <unistd.h>

namespace corvane::platform {

namespace {

thread_local std::vector<std::unique_ptr<Pipe>> spares;

}  // namespace

Pipe::Pipe(int readEnd, int writeEnd, int capacity) : ends_{readEnd, writeEnd}, capacity_(capacity) {}

Pipe::~Pipe() {
    ::close(ends_[0]);
    ::close(ends_[1]);
}

std::unique_ptr<Pipe> Pipe::take() {
    if (!spares.empty()) {
        auto pipe = std::move(spares.back());
        spares.pop_back();
        return pipe;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
    // A smaller pipe than asked (the system's limit) still works, only in more steps.
    ::fcntl(ends[1], F_SETPIPE_SZ, kCapacity);
    const int capacity = ::fcntl(ends[1], F_GETPIPE_SZ);
    return std::unique_ptr<Pipe>(new Pipe(ends[0], ends[1], capacity > 0 ? capacity : 65536));
}

void Pipe::give(std::unique_ptr<Pipe> pipe, bool empty) {
    if (pipe && empty && spares.size() < kSparesPerThread) spares.push_back(std::move(pipe));
}

}  // namespace corvane::platform
