#pragma once

#include "CorvaneCore/Logging/ConnectionGroup.hpp"
#include "CorvaneCore/Logging/ConnectionRecord.hpp"

#include <string>
#include <string_view>
#include <vector>

// Folding of connection records into one group per application, and the
// free-text match of one record.
namespace corvane::ConnectionGrouping {

// One group per exact application identifier, newest group first; groups
// that started at the same time keep the order of their first record.
std::vector<ConnectionGroup> byApplication(const std::vector<ConnectionRecord>& records);

// True when the trimmed, lower-cased query is empty or is contained in the
// lower-cased identifier, target, action or rule name of the record.
bool matches(const ConnectionRecord& record, std::string_view query);

}  // namespace corvane::ConnectionGrouping
