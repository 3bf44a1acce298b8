#pragma once

#include <memory>

#include "platform/LogEntry.hpp"

namespace corvane::platform {

// Where log lines go. One sink serves the whole process; it must be thread-safe.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(const LogEntry& entry) = 0;

    // The current sink (the journal sink unless another was installed).
    static std::shared_ptr<LogSink> current();
    // Installs `sink` (null restores the journal sink) and returns the previous one.
    static std::shared_ptr<LogSink> install(std::shared_ptr<LogSink> sink);
};

}  // namespace corvane::platform
