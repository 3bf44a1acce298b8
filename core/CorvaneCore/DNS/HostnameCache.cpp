#include "CorvaneCore/DNS/HostnameCache.hpp"

#include "CorvaneCore/Support/HashCombine.hpp"

#include <algorithm>

namespace corvane {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A part of an IPv4 text as the C library reads it: decimal, octal with a
// leading 0, or hexadecimal after 0x.
bool isAddressPart(std::string_view label) {
    if (label.size() > 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X')) {
        return std::all_of(label.begin() + 2, label.end(), isHexDigit);
    }
    return !label.empty() && std::all_of(label.begin(), label.end(), isDigit);
}

}  // namespace

std::size_t HostnameCache::KeyHash::operator()(const Key& key) const noexcept {
    std::size_t seed = 0;
    hashCombine(seed, key.user);
    hashCombine(seed, key.address);
    return seed;
}

HostnameCache::HostnameCache(int capacity, double minimumTTL, double maximumTTL)
    : capacity_(static_cast<std::size_t>(std::max(capacity, 0))), minimumTTL_(minimumTTL), maximumTTL_(maximumTTL) {}

bool HostnameCache::readsAsAddress(std::string_view name) {
    const auto end = std::find_if(name.begin(), name.end(), isWhiteSpace);
    name = name.substr(0, static_cast<std::size_t>(end - name.begin()));
    if (name.ends_with('.')) name.remove_suffix(1);
    if (IPAddressValue::fromString(name)) return true;
    if (const std::size_t zone = name.find('%'); zone != std::string_view::npos) {
        if (IPAddressValue::parseV6(name.substr(0, zone))) return true;
    }
    const std::size_t dot = name.rfind('.');
    return isAddressPart(dot == std::string_view::npos ? name : name.substr(dot + 1));
}

void HostnameCache::absorb(const DNSMessage::Parsed& parsed, User user, Date now) {
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
        store(user, *address, std::move(names), now.addingTimeInterval(ttl));
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

void HostnameCache::store(User user, const IPAddressValue& address, std::vector<std::string> names,
                          Date expiresAt) {
    std::erase_if(names, [](const std::string& name) { return name.empty() || readsAsAddress(name); });
    if (names.empty()) return;

    std::lock_guard guard(lock_);
    const Key key{user, address};
    if (auto found = entries_.find(key); found != entries_.end()) {
        addNames(found->second, names);
        found->second.expiresAt = std::max(found->second.expiresAt, expiresAt);
        return;
    }
    if (capacity_ == 0) return;
    if (entries_.size() >= capacity_) evictOne();
    // A new entry keeps the given order: add them oldest first.
    Entry entry{{}, expiresAt, stores_++};
    addNames(entry, std::vector<std::string>(names.rbegin(), names.rend()));
    entries_.emplace(key, std::move(entry));
    insertionOrder_[user].push_back(address);
}

void HostnameCache::evictOne() {
    auto chosen = insertionOrder_.end();
    std::uint64_t chosenOldest = 0;
    for (auto it = insertionOrder_.begin(); it != insertionOrder_.end(); ++it) {
        const std::uint64_t oldest = entries_.at(Key{it->first, it->second.front()}).storedAt;
        const bool more = chosen == insertionOrder_.end() || it->second.size() > chosen->second.size();
        const bool asManyButOlder = chosen != insertionOrder_.end() && it->second.size() == chosen->second.size() &&
                                    oldest < chosenOldest;
        if (more || asManyButOlder) {
            chosen = it;
            chosenOldest = oldest;
        }
    }
    if (chosen == insertionOrder_.end()) return;
    entries_.erase(Key{chosen->first, chosen->second.front()});
    chosen->second.pop_front();
    if (chosen->second.empty()) insertionOrder_.erase(chosen);
}

std::vector<std::string> HostnameCache::names(const IPAddressValue& address, User user, Date now) {
    std::lock_guard guard(lock_);
    const auto found = entries_.find(Key{user, address});
    if (found == entries_.end()) return {};
    if (found->second.expiresAt > now) return found->second.names;
    entries_.erase(found);
    const auto order = insertionOrder_.find(user);
    std::erase(order->second, address);
    if (order->second.empty()) insertionOrder_.erase(order);
    return {};
}

std::optional<std::string> HostnameCache::hostname(const IPAddressValue& address, User user, Date now) {
    auto list = names(address, user, now);
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
