#include "CorvaneCore/Logging/ConnectionGrouping.hpp"

#include "CorvaneCore/Logging/SaturatingAdd.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

namespace corvane::ConnectionGrouping {
namespace {

// The distinct rule names, most used first, equal counts by text.
std::vector<std::string> rankedRuleNames(const std::vector<ConnectionRecord>& records) {
    std::map<std::string, std::size_t> counts;  // ordered by text, byte by byte
    for (const auto& record : records) {
        if (record.ruleName) ++counts[*record.ruleName];
    }
    std::vector<std::pair<std::string, std::size_t>> ranked(counts.begin(), counts.end());
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return a.second > b.second;
    });
    std::vector<std::string> names;
    names.reserve(ranked.size());
    for (auto& [name, count] : ranked) names.push_back(std::move(name));
    return names;
}

ConnectionGroup makeGroup(std::string appIdentifier, std::vector<ConnectionRecord> records) {
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a.startedAt > b.startedAt;
    });
    ConnectionGroup group;
    group.id = appIdentifier;
    group.appIdentifier = std::move(appIdentifier);
    group.latestAt = records.front().startedAt;
    for (const auto& record : records) {
        group.bytesSent = saturatingAdd(group.bytesSent, record.bytesSent);
        group.bytesReceived = saturatingAdd(group.bytesReceived, record.bytesReceived);
        group.activeCount += record.status == ConnectionStatus::active;
        group.failedCount += record.status == ConnectionStatus::failed;
        group.blockedCount += record.status == ConnectionStatus::blocked;
    }
    group.ruleNames = rankedRuleNames(records);
    group.records = std::move(records);
    return group;
}

bool containsQuery(std::string_view text, const std::string& query) {
    return unicode::lowercased(text).find(query) != std::string::npos;
}

}  // namespace

std::vector<ConnectionGroup> byApplication(const std::vector<ConnectionRecord>& records) {
    std::vector<std::pair<std::string, std::vector<ConnectionRecord>>> collected;
    std::unordered_map<std::string, std::size_t> indexOf;
    for (const auto& record : records) {
        const auto [it, isNew] = indexOf.try_emplace(record.appIdentifier, collected.size());
        if (isNew) collected.emplace_back(record.appIdentifier, std::vector<ConnectionRecord>{});
        collected[it->second].second.push_back(record);
    }
    std::vector<ConnectionGroup> groups;
    groups.reserve(collected.size());
    for (auto& [appIdentifier, appRecords] : collected) {
        groups.push_back(makeGroup(std::move(appIdentifier), std::move(appRecords)));
    }
    std::stable_sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) {
        return a.latestAt > b.latestAt;
    });
    return groups;
}

bool matches(const ConnectionRecord& record, std::string_view query) {
    const std::string needle = unicode::lowercased(unicode::trimmed(query));
    if (needle.empty()) return true;
    return containsQuery(record.appIdentifier, needle) || containsQuery(record.target, needle) ||
           containsQuery(record.actionDescription, needle) ||
           containsQuery(record.ruleName.value_or(""), needle);
}

}  // namespace corvane::ConnectionGrouping
