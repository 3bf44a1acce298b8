#include "CorvaneCore/Engine/RuleIndex.hpp"

#include "CorvaneCore/Matching/CIDRBlock.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

#include <algorithm>

namespace corvane {
namespace {

constexpr std::string_view kWildcards = "*?";

// Application texts share a key when their first eight bytes agree (or the
// whole of a shorter text).
constexpr std::size_t kApplicationKeyLength = 8;

std::string_view applicationKeyOf(std::string_view lowerText) { return lowerText.substr(0, kApplicationKeyLength); }

// Every text a pattern matches begins with the pattern's bytes before its
// first wildcard, or is the pattern itself when it has none.
std::optional<std::string> applicationKey(std::string_view pattern) {
    const std::string lower = unicode::lowercased(pattern);
    const std::size_t wildcard = lower.find_first_of(kWildcards);
    if (wildcard != std::string::npos && wildcard < kApplicationKeyLength) return std::nullopt;
    return std::string(applicationKeyOf(lower));
}

// Every host name a pattern matches is the pattern itself when it has no
// wildcard, else it ends with the bytes after the last one, and so with the
// domain from the first dot among those bytes on.
std::optional<std::string> hostNameKey(std::string_view pattern) {
    const std::string lower = unicode::lowercased(pattern);
    const std::size_t wildcard = lower.find_last_of(kWildcards);
    if (wildcard == std::string::npos) return lower;
    const std::size_t dot = lower.find('.', wildcard + 1);
    if (dot == std::string::npos) return std::nullopt;
    return lower.substr(dot);
}

// The first byte of an IPv4 address, the first two of an IPv6 address.
std::uint32_t addressKey(const IPAddressValue& address) {
    IPAddressValue::V6Bytes bytes{};
    address.copyBytes(bytes);
    if (address.isV4()) return bytes[0];
    return 0x10000u | (std::uint32_t{bytes[0]} << 8) | bytes[1];
}

// Every address in a network with a prefix that long has the network's key.
std::optional<std::uint32_t> networkKey(const CIDRBlock& network) {
    if (network.prefixLength < (network.base.isV4() ? 8 : 16)) return std::nullopt;
    return addressKey(network.base);
}

struct Keys {
    std::vector<std::string> applications;
    std::vector<std::string> hostNames;
    std::vector<std::uint32_t> networks;
};

// Whether every pattern gave a key.
bool addApplicationKeys(const std::vector<std::string>& patterns, Keys& keys) {
    for (const std::string& pattern : patterns) {
        auto key = applicationKey(pattern);
        if (!key) return false;
        keys.applications.push_back(std::move(*key));
    }
    return true;
}

bool addHostNameKey(std::string_view pattern, Keys& keys) {
    auto key = hostNameKey(pattern);
    if (key) keys.hostNames.push_back(std::move(*key));
    return key.has_value();
}

// A host pattern is a network or a name glob, as the rule matches it; a
// pattern for every subdomain also covers the bare domain, a name (even one
// that reads as a network) with a key of its own.
bool addHostKey(std::string_view pattern, Keys& keys) {
    if (const auto network = CIDRBlock::fromString(pattern)) {
        const auto key = networkKey(*network);
        if (key) keys.networks.push_back(*key);
        return key.has_value();
    }
    return addHostNameKey(pattern, keys) && (!pattern.starts_with("*.") || addHostNameKey(pattern.substr(2), keys));
}

bool addHostKeys(const std::vector<std::string>& patterns, Keys& keys) {
    return std::all_of(patterns.begin(), patterns.end(),
                       [&keys](const std::string& pattern) { return addHostKey(pattern, keys); });
}

// Keys of which every flow the rule matches has at least one; none when the
// rule has to be tried for every flow. With mode "all" every list that is
// not empty must match, so the keys of one of them are enough; with mode
// "any" either list may, so both need keys.
std::optional<Keys> requiredKeys(const Rule& rule) {
    Keys keys;
    if (rule.matchMode == RuleMatchMode::all) {
        if (!rule.applications.empty() && addApplicationKeys(rule.applications, keys)) return keys;
        keys = {};
        if (!rule.hosts.empty() && addHostKeys(rule.hosts, keys)) return keys;
        return std::nullopt;
    }
    if (rule.applications.empty() && rule.hosts.empty()) return std::nullopt;
    if (addApplicationKeys(rule.applications, keys) && addHostKeys(rule.hosts, keys)) return keys;
    return std::nullopt;
}

void addPosition(std::vector<std::size_t>& positions, std::size_t position) {
    if (positions.empty() || positions.back() != position) positions.push_back(position);
}

void setBit(std::vector<std::uint64_t>& bits, std::size_t position) {
    bits[position / 64] |= std::uint64_t{1} << (position % 64);
}

}  // namespace

RuleIndex::RuleIndex(const std::vector<Rule>& rules) : alwaysTried_((rules.size() + 63) / 64) {
    for (std::size_t position = 0; position < rules.size(); ++position) addRule(rules[position], position);
}

void RuleIndex::addRule(const Rule& rule, std::size_t position) {
    if (!rule.isEnabled) return;  // never matches
    const auto keys = requiredKeys(rule);
    if (!keys) {
        setBit(alwaysTried_, position);
        return;
    }
    for (const std::string& key : keys->applications) addPosition(applications_[key], position);
    for (const std::string& key : keys->hostNames) {
        addPosition(hostNames_[key], position);
        longestHostNameKey_ = std::max(longestHostNameKey_, key.size());
    }
    for (std::uint32_t key : keys->networks) addPosition(networks_[key], position);
}

void RuleIndex::mark(const std::vector<std::size_t>& positions, Bits& bits) {
    for (std::size_t position : positions) setBit(bits, position);
}

void RuleIndex::markText(const TextKeys& keys, std::string_view key, Bits& bits) const {
    if (const auto found = keys.find(key); found != keys.end()) mark(found->second, bits);
}

// The whole name and the domain from each of its dots on; none longer than
// the longest key can be one.
void RuleIndex::markHostName(std::string_view host, Bits& bits) const {
    if (host.size() <= longestHostNameKey_) markText(hostNames_, host, bits);
    for (std::size_t end = host.size(); end > 0;) {
        const std::size_t dot = host.rfind('.', end - 1);
        if (dot == std::string_view::npos || host.size() - dot > longestHostNameKey_) break;
        markText(hostNames_, host.substr(dot), bits);
        end = dot;
    }
}

void RuleIndex::markAddress(const IPAddressValue& address, Bits& bits) const {
    if (const auto found = networks_.find(addressKey(address)); found != networks_.end()) mark(found->second, bits);
}

RuleIndex::Bits RuleIndex::candidates(const FlowFacts& facts) const {
    Bits bits = alwaysTried_;
    for (const GlobPattern::Text& candidate : facts.candidates)
        markText(applications_, applicationKeyOf(candidate.lower), bits);
    if (facts.hostname) markHostName(facts.hostname->lower, bits);
    if (facts.flow.remoteAddress) markAddress(*facts.flow.remoteAddress, bits);
    if (facts.hostnameAddress) markAddress(*facts.hostnameAddress, bits);
    return bits;
}

}  // namespace corvane
