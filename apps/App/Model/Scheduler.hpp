#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace corvane::app {

// A call waiting to run; destroying it first cancels it.
class ScheduledCall {
public:
    virtual ~ScheduledCall() = default;
};

// Runs actions later on the main thread. The app's loops (the records poll, the
// proxy checks) sleep through it, so tests drive time by hand.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Runs `action` once after `delay`, unless the returned call is destroyed first.
    virtual std::unique_ptr<ScheduledCall> schedule(std::chrono::milliseconds delay, std::function<void()> action) = 0;
};

}  // namespace corvane::app
