#pragma once

#include <mutex>

#include "CorvaneCore/Support/Date.hpp"
#include "platform/Clock.hpp"

namespace corvane::platform::testing {

// A clock that moves only when the test moves it.
class ManualClock {
public:
    explicit ManualClock(Date start = Date{0}) : now_(start) {}

    Date now() const;
    void set(Date date);
    void advance(double seconds);
    // A Clock reading this one; it must not outlive it.
    Clock clock() const;

private:
    mutable std::mutex lock_;
    Date now_;
};

}  // namespace corvane::platform::testing
