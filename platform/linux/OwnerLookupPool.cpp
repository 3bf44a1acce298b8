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

struct OwnerLookupPool::State : std::enable_shared_from_this<State> {
    struct Job {
        std::uint32_t user = 0;
        std::function<void()> run;
    };
    struct User {
        std::size_t running = 0;
        std::size_t waiting = 0;
    };

    explicit State(Limits l) : limits(l) {}

    // The first waiting job whose user may run one more; caller holds the lock.
    std::deque<Job>::iterator runnable() {
        return std::find_if(waiting.begin(), waiting.end(),
                            [&](const Job& job) { return users[job.user].running < limits.perUser; });
    }

    std::size_t stuck(Clock::time_point now) const {
        return static_cast<std::size_t>(std::count_if(started.begin(), started.end(), [&](Clock::time_point start) {
            return now - start > limits.overrun;
        }));
    }

    // Caller holds the lock.
    void growIfNeeded() {
        while (threads < limits.maximumThreads && threads - stuck(Clock::now()) < limits.threads) {
            ++threads;
            std::thread([self = shared_from_this()] { self->work(); }).detach();
        }
    }

    void work() {
        std::unique_lock guard(lock);
        while (true) {
            wake.wait(guard, [&] { return stopping || runnable() != waiting.end() || threads > wanted(); });
            const auto next = runnable();
            if (stopping || next == waiting.end()) {
                --threads;
                return;
            }
            Job job = std::move(*next);
            waiting.erase(next);
            User& user = users[job.user];
            --user.waiting;
            ++user.running;
            const auto slot = started.insert(started.end(), Clock::now());
            guard.unlock();
            job.run();
            job.run = nullptr;
            guard.lock();
            started.erase(slot);
            if (--users[job.user].running == 0 && users[job.user].waiting == 0) users.erase(job.user);
            wake.notify_all();
        }
    }

    // How many threads are wanted now: the base number besides the stuck ones.
    std::size_t wanted() const { return limits.threads + stuck(Clock::now()); }

    const Limits limits;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Job> waiting;
    std::unordered_map<std::uint32_t, User> users;
    std::list<Clock::time_point> started;  // of the running jobs
    std::size_t threads = 0;
    bool stopping = false;
};

OwnerLookupPool::OwnerLookupPool(Limits limits) : state_(std::make_shared<State>(limits)) {
    std::lock_guard guard(state_->lock);
    state_->growIfNeeded();
}

OwnerLookupPool::~OwnerLookupPool() {
    std::deque<State::Job> dropped;
    std::lock_guard guard(state_->lock);
    state_->stopping = true;
    dropped.swap(state_->waiting);
    state_->wake.notify_all();
}

bool OwnerLookupPool::submit(std::uint32_t user, std::function<void()> job) {
    std::lock_guard guard(state_->lock);
    State::User& entry = state_->users[user];
    if (entry.waiting >= state_->limits.queuedPerUser) return false;
    ++entry.waiting;
    state_->waiting.push_back({user, std::move(job)});
    state_->growIfNeeded();
    state_->wake.notify_all();
    return true;
}

}  // namespace corvane::platform
