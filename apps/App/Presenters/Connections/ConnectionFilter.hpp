#pragma once

#include <optional>
#include <string>
#include <vector>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"

namespace corvane::app {

// The Connections page's filter: a status, and a search text taken as typed
// (not trimmed) that must occur, ignoring case, in the record's identifier,
// target, action and rule name joined with single spaces. The path, identity,
// transport, status and byte counts are not searched.
struct ConnectionFilter {
    std::string searchText;  // UTF-8
    std::optional<ConnectionStatus> status;

    bool accepts(const ConnectionRecord& record) const;
    // The accepted records in their order.
    std::vector<ConnectionRecord> apply(const std::vector<ConnectionRecord>& records) const;
};

}  // namespace corvane::app
