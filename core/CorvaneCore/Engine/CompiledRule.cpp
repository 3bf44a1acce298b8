#include "CorvaneCore/Engine/CompiledRule.hpp"

#include <algorithm>

namespace corvane {
namespace {

unsigned transportBit(TransportProtocol transport) { return 1u << static_cast<unsigned>(transport); }

}  // namespace

CompiledRule::CompiledRule(const Rule& rule)
    : isEnabled_(rule.isEnabled), matchMode_(rule.matchMode), ports_(rule.ports), hasHosts_(!rule.hosts.empty()) {
    for (TransportProtocol transport : rule.transports) transports_ |= transportBit(transport);
    applications_.reserve(rule.applications.size());
    for (const std::string& pattern : rule.applications) applications_.emplace_back(pattern);
    for (const std::string& pattern : rule.hosts) addHostPattern(pattern);
}

// A pattern that parses as a network (a bare address is a single-host
// network) is one; anything else, used untrimmed, is a name glob, and a
// pattern for every subdomain covers the bare domain too.
void CompiledRule::addHostPattern(std::string_view pattern) {
    if (const auto network = CIDRBlock::fromString(pattern)) {
        networks_.push_back(*network);
        return;
    }
    hostNames_.emplace_back(pattern);
    if (pattern.starts_with("*.")) hostNames_.emplace_back(pattern.substr(2));
}

bool CompiledRule::holdsPort(std::uint16_t port) const {
    return std::any_of(ports_.begin(), ports_.end(), [port](const PortRange& range) { return range.contains(port); });
}

bool CompiledRule::applicationMatches(const FlowFacts& facts) const {
    for (const GlobPattern& pattern : applications_)
        for (const GlobPattern::Text& candidate : facts.candidates)
            if (pattern.matches(candidate)) return true;
    return false;
}

// A network meets the flow's address, or a host name that is itself an IP literal.
bool CompiledRule::networkMatches(const FlowFacts& facts) const {
    const auto& address = facts.flow.remoteAddress;
    const auto& hostnameAddress = facts.hostnameAddress;
    return std::any_of(networks_.begin(), networks_.end(), [&](const CIDRBlock& network) {
        return (address && network.contains(*address)) || (hostnameAddress && network.contains(*hostnameAddress));
    });
}

// A name glob needs a host name: a flow known only by its address never matches one.
bool CompiledRule::hostNameMatches(const FlowFacts& facts) const {
    if (!facts.hostname) return false;
    const GlobPattern::Text& host = *facts.hostname;
    return std::any_of(hostNames_.begin(), hostNames_.end(),
                       [&host](const GlobPattern& pattern) { return pattern.matches(host); });
}

bool CompiledRule::hostMatches(const FlowFacts& facts) const { return networkMatches(facts) || hostNameMatches(facts); }

CompiledRule::Outcome CompiledRule::classify(const FlowFacts& facts) const {
    if (!isEnabled_) return Outcome::disabled;
    if (transports_ != 0 && (transports_ & transportBit(facts.flow.transport)) == 0) return Outcome::transport;
    if (!ports_.empty() && !holdsPort(facts.flow.remotePort)) return Outcome::port;

    // Both lists are free of side effects, so each is tried only when the
    // mode still needs its answer.
    if (matchMode_ == RuleMatchMode::all) {
        if (!applications_.empty() && !applicationMatches(facts)) return Outcome::application;
        if (hasHosts_ && !hostMatches(facts)) return Outcome::target;
        return Outcome::match;
    }
    if (applications_.empty() && !hasHosts_) return Outcome::match;
    if (applicationMatches(facts) || hostMatches(facts)) return Outcome::match;
    return Outcome::neither;
}

}  // namespace corvane
