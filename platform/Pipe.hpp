#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace corvane::platform {

// A pipe that carries spliced bytes from one socket to another. Pipes are kept
// by the thread that last used them, so a busy loop reuses the same few and an
// idle connection holds none.
class Pipe {
public:
    // Large enough that one splice moves what a fast connection has queued.
    static constexpr int kCapacity = 1 << 20;
    // The most spare pipes one thread keeps.
    static constexpr std::size_t kSparesPerThread = 16;

    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return ends_[0]; }
    int writeEnd() const { return ends_[1]; }
    int capacity() const { return capacity_; }

    // A pipe from this thread's spares, or a new one; null when none can be made
    // (errno tells why).
    static std::unique_ptr<Pipe> take();
    // Keeps an empty pipe for the next take on this thread (a bounded number of
    // them); any other one is closed.
    static void give(std::unique_ptr<Pipe> pipe, bool empty);

private:
    Pipe(int readEnd, int writeEnd, int capacity);

    int ends_[2];
    int capacity_;
};

}  // namespace corvane::platform
