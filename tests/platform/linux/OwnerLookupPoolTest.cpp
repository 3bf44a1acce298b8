#include "platform/linux/OwnerLookupPool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace corvane::platform {
namespace {

using namespace std::chrono_literals;

// Holds the jobs that wait at it until the test opens it.
class Gate {
public:
    void open() {
        std::lock_guard guard(lock_);
        open_ = true;
        changed_.notify_all();
    }
    void pass() {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [&] { return open_; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool open_ = false;
};

bool eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// One user's jobs stuck for good (a file system that never answers) take no
// more than that user's share, and threads in their place serve the others.
TEST(OwnerLookupPool, AUsersStuckJobsHoldUpNoOtherUser) {
    OwnerLookupPool pool({.threads = 2, .perUser = 2, .queuedPerUser = 3, .maximumThreads = 8, .overrun = 50ms});
    auto gate = std::make_shared<Gate>();
    auto started = std::make_shared<std::atomic<int>>(0);
    auto ran = std::make_shared<std::atomic<int>>(0);
    const auto stuck = [gate, started, ran] {
        ++*started;
        gate->pass();
        ++*ran;
    };
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(pool.submit(1, stuck)) << i;
    ASSERT_TRUE(eventually([&] { return *started == 2; }));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(pool.submit(1, stuck)) << i;
    EXPECT_FALSE(pool.submit(1, stuck)) << "beyond the user's queue";
    std::this_thread::sleep_for(100ms);

    std::promise<void> served;
    EXPECT_TRUE(pool.submit(2, [&] { served.set_value(); }));
    EXPECT_EQ(served.get_future().wait_for(1s), std::future_status::ready);
    EXPECT_EQ(*started, 2) << "the stuck user's queued jobs wait for its own running ones";

    gate->open();
    EXPECT_TRUE(eventually([&] { return *ran == 5; }));
}

// The pool's end does not wait for a job that never ends.
TEST(OwnerLookupPool, EndsWithoutWaitingForAStuckJob) {
    auto gate = std::make_shared<Gate>();
    auto started = std::make_shared<std::atomic<bool>>(false);
    std::chrono::steady_clock::time_point ending;
    {
        OwnerLookupPool pool;
        pool.submit(1, [gate, started] {
            *started = true;
            gate->pass();
        });
        ASSERT_TRUE(eventually([&] { return started->load(); }));
        ending = std::chrono::steady_clock::now();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - ending, 100ms);
    gate->open();
}

}  // namespace
}  // namespace corvane::platform
