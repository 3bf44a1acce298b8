#pragma once

#include <cstdint>

#include <QString>

#include "CorvaneCore/Logging/ConnectionGroup.hpp"
#include "CorvaneCore/Logging/ConnectionRecord.hpp"

// The texts the Connections page and the detail sheet show for records and groups.
namespace corvane::app::ConnectionTexts {

// "Active", "Closed", "Failed", "Blocked".
QString statusTitle(ConnectionStatus status);
// "↑" + sent + "  ↓" + received.
QString traffic(std::uint64_t sent, std::uint64_t received);
// The rule name, or "—" when the default action applied.
QString ruleName(const ConnectionRecord& record);
// The first two rule names of a group, joined with ", ".
QString groupRuleNames(const ConnectionGroup& group);

}  // namespace corvane::app::ConnectionTexts
