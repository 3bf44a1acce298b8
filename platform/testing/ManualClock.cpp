#include "platform/testing/ManualClock.hpp"

namespace corvane::platform::testing {

Date ManualClock::now() const {
    std::lock_guard guard(lock_);
    return now_;
}

void ManualClock::set(Date date) {
    std::lock_guard guard(lock_);
    now_ = date;
}

void ManualClock::advance(double seconds) {
    std::lock_guard guard(lock_);
    now_ = now_.addingTimeInterval(seconds);
}

Clock ManualClock::clock() const {
    return [this] { return now(); };
}

}  // namespace corvane::platform::testing
