#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "Model/Scheduler.hpp"

namespace corvane::app::testing {

// A scheduler whose time moves only when the test advances it.
class ManualScheduler : public Scheduler {
public:
    std::unique_ptr<ScheduledCall> schedule(std::chrono::milliseconds delay, std::function<void()> action) override;

    // Moves time forward, running every call that falls due, in time order
    // (calls scheduled by them included when they fall in the window).
    void advance(std::chrono::milliseconds by);
    std::size_t pending() const { return entries_.size(); }
    // The delay of the one waiting call scheduled last.
    std::chrono::milliseconds lastDelay() const { return lastDelay_; }

private:
    struct Entry {
        std::chrono::milliseconds due;
        std::function<void()> action;
    };
    class Call;

    std::map<std::uint64_t, Entry> entries_;
    std::uint64_t nextId_ = 1;
    std::chrono::milliseconds now_{0};
    std::chrono::milliseconds lastDelay_{0};
};

}  // namespace corvane::app::testing
