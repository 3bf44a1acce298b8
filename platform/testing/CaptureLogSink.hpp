#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/LogSink.hpp"

namespace corvane::platform::testing {

// Keeps the whole rendered lines, both forms, for tests to compare. Holds at most
// `capacity` lines (the oldest go first).
class CaptureLogSink : public LogSink {
public:
    explicit CaptureLogSink(std::size_t capacity = 10000) : capacity_(capacity) {}

    void write(const LogEntry& entry) override;

    std::vector<LogEntry> entries() const;
    // The persistent forms ("<private>" for private arguments), oldest first.
    std::vector<std::string> lines() const;
    // The lines with private arguments shown.
    std::vector<std::string> revealedLines() const;
    void clear();

private:
    std::size_t capacity_;
    mutable std::mutex lock_;
    std::deque<LogEntry> entries_;
};

// Installs a capture sink for its lifetime and restores the previous sink after.
class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    CaptureLogSink& sink() const { return *sink_; }
    CaptureLogSink* operator->() const { return sink_.get(); }

private:
    std::shared_ptr<CaptureLogSink> sink_;
    std::shared_ptr<LogSink> previous_;
};

}  // namespace corvane::platform::testing
