#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

// A JSON value that does not have the form a type requires: a missing key, a
// wrong JSON type, a number out of range, text that is not JSON at all.
class JsonDecodeError : public std::runtime_error {
public:
    explicit JsonDecodeError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace corvane
