#include "CorvaneCore/DNS/HostnameCache.hpp"

#include <algorithm>

namespace corvane {

HostnameCache::HostnameCache(int capacity, double minimumTTL, double maximumTTL)
    : capacity_(static_cast<std::size_t>(std::max(capacity, 0))), minimumTTL_(minimumTTL), maximumTTL_(maximumTTL) {}

void HostnameCache::absorb(const DNSMessage::Parsed& parsed, Date now) {
    if (!parsed.isResponse) return;
    const std::string* question = parsed.questions.empty() ? nullptr : &parsed.questions.front().name;
    for (const auto& answer : parsed.answers) {
        const IPAddressValue* address = answer.value.asAddress();
        if (address == nullptr) continue;
        std::vector<std::string> names{answer.name};
        if (question != nullptr && *question != answer.name) names.push_back(*question);
        double ttl = static_cast<double>(answer.ttl);
        if (ttl < minimumTTL_) ttl = minimumTTL_;
        if (ttl > maximumTTL_) ttl = maximumTTL_;
        store(*address, std::move(names), now.addingTimeInterval(ttl));
    }
}

// Inserts each new name at the front, so of two new names the later ends up
// first, and drops the oldest names beyond the bound.
void HostnameCache::addNames(Entry& entry, const std::vector<std::string>& names) {
    for (const auto& name : names) {
        if (std::find(entry.names.begin(), entry.names.end(), name) != entry.names.end()) continue;
        entry.names.insert(entry.names.begin(), name);
        if (entry.names.size() > kMaxNamesPerAddress) entry.names.pop_back();
    }
}

void HostnameCache::store(const IPAddressValue& address, std::vector<std::string> names, Date expiresAt) {
    std::erase_if(names, [](const std::string& name) { return name.empty(); });
    if (names.empty()) return;

    std::lock_guard guard(lock_);
    if (auto found = entries_.find(address); found != entries_.end()) {
        addNames(found->second, names);
        found->second.expiresAt = std::max(found->second.expiresAt, expiresAt);
        return;
    }
    if (capacity_ == 0) return;
    if (insertionOrder_.size() >= capacity_) {
        entries_.erase(insertionOrder_.front());
        insertionOrder_.pop_front();
    }
    // A new entry keeps the given order: add them oldest first.
    Entry entry{{}, expiresAt};
    addNames(entry, std::vector<std::string>(names.rbegin(), names.rend()));
    entries_.emplace(address, std::move(entry));
    insertionOrder_.push_back(address);
}

std::vector<std::string> HostnameCache::names(const IPAddressValue& address, Date now) {
    std::lock_guard guard(lock_);
    const auto found = entries_.find(address);
    if (found == entries_.end()) return {};
    if (found->second.expiresAt > now) return found->second.names;
    entries_.erase(found);
    std::erase(insertionOrder_, address);
    return {};
}

std::optional<std::string> HostnameCache::hostname(const IPAddressValue& address, Date now) {
    auto list = names(address, now);
    if (list.empty()) return std::nullopt;
    return std::move(list.front());
}

std::size_t HostnameCache::count() const {
    std::lock_guard guard(lock_);
    return entries_.size();
}

void HostnameCache::removeAll() {
    std::lock_guard guard(lock_);
    entries_.clear();
    insertionOrder_.clear();
}

}  // namespace corvane
