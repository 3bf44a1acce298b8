#include "platform/LogSink.hpp"

#include <mutex>

#include "platform/JournalLogSink.hpp"

namespace corvane::platform {

namespace {

std::mutex& sinkLock() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<LogSink>& installedSink() {
    static std::shared_ptr<LogSink> sink = std::make_shared<JournalLogSink>();
    return sink;
}

}  // namespace

std::shared_ptr<LogSink> LogSink::current() {
    std::lock_guard guard(sinkLock());
    return installedSink();
}

std::shared_ptr<LogSink> LogSink::install(std::shared_ptr<LogSink> sink) {
    if (!sink) sink = std::make_shared<JournalLogSink>();
    std::lock_guard guard(sinkLock());
    std::swap(installedSink(), sink);
    return sink;
}

}  // namespace corvane::platform
