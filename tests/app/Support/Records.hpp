#pragma once

#include <optional>
#include <string>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"

namespace corvane::app::testing {

// A record with the fields the pages show; the rest as a fresh direct TCP record.
inline ConnectionRecord shownRecord(std::string app, std::string target, std::string action,
                                    std::optional<std::string> rule,
                                    ConnectionStatus status = ConnectionStatus::closed, double startedAt = 0) {
    ConnectionRecord record;
    record.id = UUID::random();
    record.startedAt = Date{startedAt};
    record.appIdentifier = std::move(app);
    record.target = std::move(target);
    record.actionDescription = std::move(action);
    record.ruleName = std::move(rule);
    record.status = status;
    return record;
}

}  // namespace corvane::app::testing
