#include "ProgressThrottle.hpp"

#include <utility>

namespace corvane::app {

ProgressThrottle::ProgressThrottle(Scheduler& scheduler, std::chrono::milliseconds interval,
                                   std::function<void()> show)
    : scheduler_(scheduler), interval_(interval), show_(std::move(show)) {}

void ProgressThrottle::report() {
    if (waiting_) {
        held_ = true;
        return;
    }
    showAndWait();
}

void ProgressThrottle::flush() {
    if (std::exchange(held_, false)) show_();
}

void ProgressThrottle::reset() {
    waiting_ = false;
    held_ = false;
    wait_.reset();
}

void ProgressThrottle::showAndWait() {
    waiting_ = true;
    ended_ = std::move(wait_);
    wait_ = scheduler_.schedule(interval_, [this] { intervalEnded(); });
    show_();
}

void ProgressThrottle::intervalEnded() {
    waiting_ = false;
    if (std::exchange(held_, false)) showAndWait();
}

}  // namespace corvane::app
