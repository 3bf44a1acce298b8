#include "platform/testing/CaptureLogSink.hpp"

namespace corvane::platform::testing {

void CaptureLogSink::write(const LogEntry& entry) {
    std::lock_guard guard(lock_);
    if (capacity_ == 0) return;
    if (entries_.size() >= capacity_) entries_.pop_front();
    entries_.push_back(entry);
}

std::vector<LogEntry> CaptureLogSink::entries() const {
    std::lock_guard guard(lock_);
    return {entries_.begin(), entries_.end()};
}

std::vector<std::string> CaptureLogSink::lines() const {
    std::lock_guard guard(lock_);
    std::vector<std::string> out;
    for (const auto& entry : entries_) out.push_back(entry.message);
    return out;
}

std::vector<std::string> CaptureLogSink::revealedLines() const {
    std::lock_guard guard(lock_);
    std::vector<std::string> out;
    for (const auto& entry : entries_) out.push_back(entry.revealedMessage);
    return out;
}

void CaptureLogSink::clear() {
    std::lock_guard guard(lock_);
    entries_.clear();
}

ScopedLogCapture::ScopedLogCapture()
    : sink_(std::make_shared<CaptureLogSink>()), previous_(LogSink::install(sink_)) {}

ScopedLogCapture::~ScopedLogCapture() {
    LogSink::install(previous_);
}

}  // namespace corvane::platform::testing
