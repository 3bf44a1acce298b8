#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/LogArg.hpp"
#include "platform/LogEntry.hpp"

namespace corvane::platform {

// A logger of one subsystem and category. Formats know "%{public}s", "%s" (private),
// "%ld", "%hu" (with or without "{public}") and "%%"; arguments are taken in order,
// never interpreted as formats, and their control characters are escaped so that
// no argument can start a new line.
class Logger {
public:
    Logger(std::string subsystem, std::string category);

    void info(std::string_view format, std::initializer_list<LogArg> args = {}) const;
    void error(std::string_view format, std::initializer_list<LogArg> args = {}) const;

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

    // Renders one line without writing it.
    static LogEntry render(LogLevel level, std::string_view subsystem, std::string_view category,
                           std::string_view format, std::initializer_list<LogArg> args);

private:
    void log(LogLevel level, std::string_view format, std::initializer_list<LogArg> args) const;

    std::string subsystem_;
    std::string category_;
};

}  // namespace corvane::platform
