#include "CorvaneCore/DNS/DNSQueryTracker.hpp"

#include <algorithm>

namespace corvane {
namespace {

char lowered(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lowered(x) == lowered(y); });
}

bool sameQuestions(const std::vector<DNSMessage::Question>& a, const std::vector<DNSMessage::Question>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.type == y.type && x.cls == y.cls && sameName(x.name, y.name);
    });
}

}  // namespace

void DNSQueryTracker::sent(const Server& server, const DNSMessage::Parsed& query, Date now) {
    if (query.isResponse || query.questions.empty()) return;
    if (queries_.size() >= kMaximumQueries) queries_.pop_front();
    queries_.push_back({server, query.id, query.questions, now.addingTimeInterval(kQueryLifetime)});
}

bool DNSQueryTracker::settle(const Server& server, const DNSMessage::Parsed& response, Date now) {
    std::erase_if(queries_, [now](const Query& query) { return query.expiresAt <= now; });
    if (!response.isResponse) return false;
    const auto found = std::find_if(queries_.begin(), queries_.end(), [&](const Query& query) {
        return query.id == response.id && query.server == server && sameQuestions(query.questions, response.questions);
    });
    if (found == queries_.end()) return false;
    queries_.erase(found);
    return true;
}

}  // namespace corvane
