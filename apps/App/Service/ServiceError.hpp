#pragma once

#include <stdexcept>
#include <string>

namespace corvane::service {

// A failed installation step, with the helper's exit status for it. The message
// is the one line the helper prints, which the app shows.
class ServiceError : public std::runtime_error {
public:
    enum class Code { usage = 2, untrustedDaemon = 3, failed = 4 };

    ServiceError(Code code, const std::string& message) : std::runtime_error(message), code_(code) {}

    Code code() const { return code_; }
    int exitStatus() const { return static_cast<int>(code_); }

private:
    Code code_;
};

}  // namespace corvane::service
