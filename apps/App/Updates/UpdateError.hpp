#pragma once

#include <stdexcept>
#include <string>

namespace corvane::updates {

// A refused or failed update; the message is the sentence the user sees.
class UpdateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace corvane::updates
