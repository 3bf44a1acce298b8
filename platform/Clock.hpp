#pragma once

#include <functional>

#include "CorvaneCore/Support/Date.hpp"

namespace corvane::platform {

// The source of "now" for records and caches; tests inject a manual one.
using Clock = std::function<Date()>;

inline Clock systemClock() {
    return [] { return Date::now(); };
}

}  // namespace corvane::platform
