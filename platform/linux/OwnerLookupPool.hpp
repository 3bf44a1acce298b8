#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace corvane::platform {

// The threads that find out who owns a flow, off the event loops: that means
// scanning /proc and reading files processes control, which a process can
// make slow (thousands of descriptors) or never answer (a FUSE file system of
// its own). Work is grouped by user, the uid of the flow's socket, which the
// kernel reports before anything of the process is read:
// - each user has at most `perUser` jobs running and `queuedPerUser` waiting
//   (and all users at most `queued`); the pool keeps `threads` threads
//   besides those stuck, so one user's jobs never hold up another's;
// - a job running longer than `overrun` counts as stuck: a new thread takes
//   its place (up to `maximumThreads` in all);
// - threads are never joined: at the pool's end the idle ones stop and a
//   stuck one is left to end with the process.
class OwnerLookupPool {
public:
    struct Limits {
        std::size_t threads = 6;
        std::size_t perUser = 2;
        std::size_t queuedPerUser = 512;
        std::size_t queued = 4096;
        std::size_t maximumThreads = 64;
        std::chrono::milliseconds overrun{500};
    };

    explicit OwnerLookupPool(Limits limits);
    OwnerLookupPool() : OwnerLookupPool(Limits{}) {}
    ~OwnerLookupPool();
    OwnerLookupPool(const OwnerLookupPool&) = delete;
    OwnerLookupPool& operator=(const OwnerLookupPool&) = delete;

    // Runs `job` on a thread of the pool; false (and nothing runs) when the
    // user, or the pool, already has as many jobs waiting as allowed.
    bool submit(std::uint32_t user, std::function<void()> job);

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace corvane::platform
