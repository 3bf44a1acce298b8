#pragma once

#include "platform/LogSink.hpp"

namespace corvane::platform {

// Writes to the systemd journal: MESSAGE, PRIORITY (6 info, 3 error),
// SYSLOG_IDENTIFIER = the subsystem, CORVANE_CATEGORY = the category. Where no
// journal runs, the line goes to standard error with a "<6>"/"<3>" prefix.
// Only the persistent form (private arguments redacted) ever leaves the process.
class JournalLogSink : public LogSink {
public:
    void write(const LogEntry& entry) override;

    // The standard-error form of a line, ending in a line feed.
    static std::string standardErrorLine(const LogEntry& entry);
};

}  // namespace corvane::platform
