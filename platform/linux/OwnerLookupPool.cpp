#include "OwnerLookupPool.hpp"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace corvane::platform {

using Clock = std::chrono::steady_clock;

// Each user's jobs wait in a queue of the user's own; `ready` names a user
// once for each job of theirs that may start now, so a thread takes the next
// job without looking at the others waiting.
struct OwnerLookupPool::State : std::enable_shared_from_this<State> {
    struct User {
        std::deque<std::function<void()>> waiting;
        std::size_t running = 0;
        std::size_t ready = 0;  // entries in `ready`
    };

    explicit State(Limits l) : limits(l) {}

    std::size_t stuck(Clock::time_point now) const {
        return static_cast<std::size_t>(std::count_if(started.begin(), started.end(), [&](Clock::time_point start) {
            return now - start > limits.overrun;
        }));
    }
    // The base number of threads besides the stuck ones.
    std::size_t wanted() const { return limits.threads + stuck(Clock::now()); }

    // Caller holds the lock.
    void growIfNeeded() {
        while (threads < limits.maximumThreads && threads < wanted()) {
            ++threads;
            std::thread([self = shared_from_this()] { self->work(); }).detach();
        }
    }

    // Caller holds the lock.
    void scheduleIfAllowed(std::uint32_t id, User& user) {
        if (user.waiting.size() <= user.ready || user.running + user.ready >= limits.perUser) return;
        ++user.ready;
        ready.push_back(id);
        wake.notify_one();
    }

    void work() {
        std::unique_lock guard(lock);
        while (true) {
            wake.wait(guard, [&] { return stopping || !ready.empty() || threads > wanted(); });
            if (stopping || ready.empty()) {
                --threads;
                return;
            }
            const std::uint32_t id = ready.front();
            ready.pop_front();
            User& user = users[id];
            --user.ready;
            ++user.running;
            auto job = std::move(user.waiting.front());
            user.waiting.pop_front();
            --queued;
            const auto slot = started.insert(started.end(), Clock::now());
            guard.unlock();
            job();
            job = nullptr;
            guard.lock();
            // The pool ended meanwhile (perhaps with this very job's end).
            if (stopping) {
                --threads;
                return;
            }
            started.erase(slot);
            User& after = users[id];
            --after.running;
            scheduleIfAllowed(id, after);
            if (after.running == 0 && after.waiting.empty()) users.erase(id);
        }
    }

    const Limits limits;
    std::mutex lock;
    std::condition_variable wake;
    std::unordered_map<std::uint32_t, User> users;
    std::deque<std::uint32_t> ready;
    std::list<Clock::time_point> started;  // of the running jobs
    std::size_t queued = 0;                // jobs waiting, of all users
    std::size_t threads = 0;
    bool stopping = false;
};

OwnerLookupPool::OwnerLookupPool(Limits limits) : state_(std::make_shared<State>(limits)) {
    std::lock_guard guard(state_->lock);
    state_->growIfNeeded();
}

OwnerLookupPool::~OwnerLookupPool() {
    std::unordered_map<std::uint32_t, State::User> dropped;
    std::lock_guard guard(state_->lock);
    state_->stopping = true;
    dropped.swap(state_->users);
    state_->ready.clear();
    state_->queued = 0;
    state_->wake.notify_all();
}

bool OwnerLookupPool::submit(std::uint32_t id, std::function<void()> job) {
    std::lock_guard guard(state_->lock);
    if (state_->queued >= state_->limits.queued) return false;
    State::User& user = state_->users[id];
    if (user.waiting.size() >= state_->limits.queuedPerUser) return false;
    user.waiting.push_back(std::move(job));
    ++state_->queued;
    state_->growIfNeeded();
    state_->scheduleIfAllowed(id, user);
    return true;
}

}  // namespace corvane::platform
