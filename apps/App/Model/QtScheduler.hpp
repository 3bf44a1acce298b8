#pragma once

#include "Scheduler.hpp"

namespace corvane::app {

// The scheduler of the running app: one precise single-shot timer per call.
class QtScheduler : public Scheduler {
public:
    std::unique_ptr<ScheduledCall> schedule(std::chrono::milliseconds delay, std::function<void()> action) override;
};

}  // namespace corvane::app
