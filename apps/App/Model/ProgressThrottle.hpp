#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "Scheduler.hpp"

namespace corvane::app {

// Folds a fast run of progress reports into at most one showing per interval:
// a report after a quiet interval shows at once; the ones that follow within
// the interval show once, together, when it is over, so the latest always
// shows in the end.
class ProgressThrottle {
public:
    ProgressThrottle(Scheduler& scheduler, std::chrono::milliseconds interval, std::function<void()> show);

    void report();
    // Shows a report still held back now.
    void flush();
    // Drops a report still held back, and the interval: the next report shows at once.
    void reset();

private:
    void showAndWait();
    void intervalEnded();

    Scheduler& scheduler_;
    std::chrono::milliseconds interval_;
    std::function<void()> show_;
    bool waiting_ = false;
    bool held_ = false;
    std::unique_ptr<ScheduledCall> wait_;
    // The call that ended the last interval, kept while it may still be running.
    std::unique_ptr<ScheduledCall> ended_;
};

}  // namespace corvane::app
