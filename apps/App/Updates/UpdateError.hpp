#pragma once

#include <stdexcept>
#include <string>

namespace corvane::updates {

// A refused or failed update; the message is the sentence the user sees.
class UpdateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Why an archive whose signature does not verify was refused.
inline constexpr const char* kNotSignedText = "The update is not signed with Corvane’s key, so it was refused.";

}  // namespace corvane::updates
