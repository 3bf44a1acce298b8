#include "ConnectionFilter.hpp"

#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::app {

namespace {

bool passes(const ConnectionRecord& record, const std::optional<ConnectionStatus>& status,
            const std::string& lowercasedSearch) {
    if (status && *status != record.status) return false;
    if (lowercasedSearch.empty()) return true;
    const std::string searched = record.appIdentifier + " " + record.target + " " + record.actionDescription + " " +
                                 record.ruleName.value_or("");
    return unicode::lowercased(searched).find(lowercasedSearch) != std::string::npos;
}

}  // namespace

bool ConnectionFilter::accepts(const ConnectionRecord& record) const {
    return passes(record, status, unicode::lowercased(searchText));
}

std::vector<ConnectionRecord> ConnectionFilter::apply(const std::vector<ConnectionRecord>& records) const {
    const std::string search = unicode::lowercased(searchText);
    std::vector<ConnectionRecord> accepted;
    for (const ConnectionRecord& record : records) {
        if (passes(record, status, search)) accepted.push_back(record);
    }
    return accepted;
}

}  // namespace corvane::app
