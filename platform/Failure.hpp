#pragma once

#include <string>

#include "platform/Error.hpp"

namespace corvane::platform {

// A failed platform operation: its code and its human-readable description.
struct Failure {
    Error code;
    std::string description;

    friend bool operator==(const Failure&, const Failure&) = default;
};

}  // namespace corvane::platform
