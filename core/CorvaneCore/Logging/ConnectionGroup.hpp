#pragma once

#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "CorvaneCore/Support/Date.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// One application's connection records, newest first, with totals and counts.
struct ConnectionGroup {
    std::string id;  // the application identifier, the grouping key
    std::string appIdentifier;
    std::vector<ConnectionRecord> records;
    std::uint64_t bytesSent = 0;  // saturating sums
    std::uint64_t bytesReceived = 0;
    Date latestAt;  // start of the newest record
    std::size_t activeCount = 0;
    std::size_t failedCount = 0;
    std::size_t blockedCount = 0;
    std::vector<std::string> ruleNames;  // most used first, equal counts by text

    std::size_t connectionCount() const { return records.size(); }
    // "3 connections · 2 active · 1 failed": active, blocked, failed when non-zero.
    std::string subtitle() const;

    friend bool operator==(const ConnectionGroup&, const ConnectionGroup&) = default;
};

}  // namespace corvane
