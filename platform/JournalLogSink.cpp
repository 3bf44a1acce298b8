#include "platform/JournalLogSink.hpp"

#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <string>

#include <systemd/sd-journal.h>

namespace corvane::platform {

namespace {

iovec field(const std::string& text) {
    return iovec{const_cast<char*>(text.data()), text.size()};
}

}  // namespace

void JournalLogSink::write(const LogEntry& entry) {
    const char* priority = entry.level == LogLevel::error ? "3" : "6";
    const std::string message = "MESSAGE=" + entry.message;
    const std::string level = std::string("PRIORITY=") + priority;
    const std::string identifier = "SYSLOG_IDENTIFIER=" + entry.subsystem;
    const std::string category = "CORVANE_CATEGORY=" + entry.category;
    std::array<iovec, 4> fields{field(message), field(level), field(identifier), field(category)};
    // sd_journal_sendv reports success when no journal runs: look for its socket first.
    if (::access("/run/systemd/journal/socket", F_OK) == 0 &&
        sd_journal_sendv(fields.data(), static_cast<int>(fields.size())) >= 0) {
        return;
    }

    const std::string line = standardErrorLine(entry);
    // One write per line, so lines of several threads never interleave.
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, line.data(), line.size());
}

std::string JournalLogSink::standardErrorLine(const LogEntry& entry) {
    std::string line = entry.level == LogLevel::error ? "<3>" : "<6>";
    line += entry.subsystem + "[" + entry.category + "]: " + entry.message + "\n";
    return line;
}

}  // namespace corvane::platform
