#pragma once

#include <string>
#include <vector>

namespace corvane::platform {

enum class LogLevel { info, error };

// One rendered log line. `message` is the persistent form (private arguments as
// "<private>"); `revealedMessage` shows them. Both are single lines.
struct LogEntry {
    LogLevel level = LogLevel::info;
    std::string subsystem;
    std::string category;
    std::string message;
    std::string revealedMessage;
    // For each argument in order: whether it was private.
    std::vector<bool> privateArguments;

    friend bool operator==(const LogEntry&, const LogEntry&) = default;
};

}  // namespace corvane::platform
