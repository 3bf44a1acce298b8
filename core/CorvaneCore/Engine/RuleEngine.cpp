#include "CorvaneCore/Engine/RuleEngine.hpp"

#include "CorvaneCore/Matching/CIDRBlock.hpp"
#include "CorvaneCore/Matching/HostMatcher.hpp"

#include <algorithm>
#include <string_view>

namespace corvane {
namespace {

// Why a rule did or did not match, before it is put into words. The verdict
// needs only this; the trace adds the words.
enum class Outcome { disabled, transport, port, application, target, neither, match };

// What the host patterns of every rule are tested against, worked out once
// per flow.
struct FlowFacts {
    const FlowDescriptor& flow;
    std::optional<IPAddressValue> hostnameAddress;  // the host name when it is itself an IP literal

    explicit FlowFacts(const FlowDescriptor& flow)
        : flow(flow),
          hostnameAddress(flow.remoteHostname ? IPAddressValue::fromString(*flow.remoteHostname) : std::nullopt) {}
};

bool hostPatternMatches(std::string_view pattern, const FlowFacts& facts) {
    if (const auto network = CIDRBlock::fromString(pattern)) {
        if (facts.flow.remoteAddress && network->contains(*facts.flow.remoteAddress)) return true;
        return facts.hostnameAddress && network->contains(*facts.hostnameAddress);
    }
    if (!facts.flow.remoteHostname) return false;
    const std::string_view host = *facts.flow.remoteHostname;
    if (HostMatcher::matches(pattern, host)) return true;
    // A pattern for every subdomain covers the bare domain too.
    return pattern.starts_with("*.") && HostMatcher::matches(pattern.substr(2), host);
}

bool applicationPatternMatches(std::string_view pattern, const FlowDescriptor& flow) {
    return flow.anyApplicationCandidate(
        [pattern](std::string_view candidate) { return HostMatcher::matches(pattern, candidate); });
}

bool holdsPort(const std::vector<PortRange>& ranges, std::uint16_t port) {
    return std::any_of(ranges.begin(), ranges.end(), [port](const PortRange& range) { return range.contains(port); });
}

Outcome classify(const Rule& rule, const FlowFacts& facts) {
    const FlowDescriptor& flow = facts.flow;
    if (!rule.isEnabled) return Outcome::disabled;
    if (!rule.transports.empty() && !rule.transports.contains(flow.transport)) return Outcome::transport;
    if (!rule.ports.empty() && !holdsPort(rule.ports, flow.remotePort)) return Outcome::port;

    const bool applicationMatched =
        std::any_of(rule.applications.begin(), rule.applications.end(),
                    [&flow](const std::string& pattern) { return applicationPatternMatches(pattern, flow); });
    const bool hostMatched = std::any_of(rule.hosts.begin(), rule.hosts.end(), [&facts](const std::string& pattern) {
        return hostPatternMatches(pattern, facts);
    });

    if (rule.matchMode == RuleMatchMode::all) {
        if (!rule.applications.empty() && !applicationMatched) return Outcome::application;
        if (!rule.hosts.empty() && !hostMatched) return Outcome::target;
        return Outcome::match;
    }
    if (applicationMatched || hostMatched || (rule.applications.empty() && rule.hosts.empty())) return Outcome::match;
    return Outcome::neither;
}

template <class Range, class Text>
std::string joined(const Range& items, std::string_view separator, Text text) {
    std::string out;
    bool first = true;
    for (const auto& item : items) {
        if (!first) out += separator;
        first = false;
        out += text(item);
    }
    return out;
}

constexpr auto asIs = [](const std::string& text) -> const std::string& { return text; };

std::string braced(const std::vector<std::string>& patterns) {
    return "{" + joined(patterns, ", ", asIs) + "}";
}

// The set's order (tcp before udp) is the ascending order of the names.
std::string transportList(const std::set<TransportProtocol>& transports) {
    return "{" + joined(transports, ", ", [](TransportProtocol t) { return std::string(toString(t)); }) + "}";
}

std::string portList(const std::vector<PortRange>& ports) {
    return "{" + joined(ports, ", ", [](const PortRange& range) { return range.displayText(); }) + "}";
}

std::string applicationDescription(const FlowDescriptor& flow) {
    const auto candidates = flow.applicationMatchCandidates();
    std::string description = candidates.empty() ? "(unknown app)" : joined(candidates, " / ", asIs);
    if (flow.appIdentity && !flow.appIdentity->isValid && flow.appIdentifier)
        description += " — claims to be “" + *flow.appIdentifier + "”, signature not verified";
    return description;
}

std::string matchSummary(const Rule& rule) {
    std::string summary = "matched: ";
    summary += rule.applications.empty() ? "any application" : "application in " + braced(rule.applications);
    summary += rule.hosts.empty() ? ", any target" : ", target in " + braced(rule.hosts);
    if (!rule.ports.empty()) summary += ", port in " + portList(rule.ports);
    if (!rule.transports.empty()) summary += ", transport in " + transportList(rule.transports);
    return summary;
}

RuleEngine::RuleMatchResult describe(Outcome outcome, const Rule& rule, const FlowDescriptor& flow) {
    using Result = RuleEngine::RuleMatchResult;
    switch (outcome) {
    case Outcome::disabled: return Result::skippedDisabled();
    case Outcome::transport:
        return Result::noMatch("transport " + std::string(toString(flow.transport)) + " is not in " +
                               transportList(rule.transports));
    case Outcome::port:
        return Result::noMatch("port " + std::to_string(flow.remotePort) + " is not in " + portList(rule.ports));
    case Outcome::application:
        return Result::noMatch("application " + applicationDescription(flow) + " matches none of " +
                               braced(rule.applications));
    case Outcome::target:
        return Result::noMatch("target " + flow.targetDescription() + " matches none of " + braced(rule.hosts));
    case Outcome::neither:
        return Result::noMatch("neither the application nor the target " + flow.targetDescription() +
                               " belongs to this service");
    case Outcome::match: break;
    }
    return Result::match(matchSummary(rule));
}

}  // namespace

std::string RuleEngine::RuleMatchResult::reason() const {
    if (const auto* match = std::get_if<Match>(&value_)) return match->reason;
    if (const auto* noMatch = std::get_if<NoMatch>(&value_)) return noMatch->reason;
    return "Rule is disabled";
}

RuleEngine::Verdict RuleEngine::verdict(const FlowDescriptor& flow) const {
    const FlowFacts facts(flow);
    for (const Rule& rule : profile.rules)
        if (rule.isEnabled && classify(rule, facts) == Outcome::match) return {rule.action, rule};
    return {profile.defaultAction, std::nullopt};
}

RuleAction RuleEngine::action(const FlowDescriptor& flow) const { return verdict(flow).action; }

RuleEngine::Trace RuleEngine::trace(const FlowDescriptor& flow) const {
    const FlowFacts facts(flow);
    Trace trace{{}, profile.defaultAction, std::nullopt};
    for (const Rule& rule : profile.rules) {
        RuleMatchResult result = describe(classify(rule, facts), rule, flow);
        const bool decisive = result.isMatch();
        trace.steps.push_back({rule.id, rule, std::move(result), decisive});
        if (decisive) {
            trace.action = rule.action;
            trace.matchedRule = rule;
            break;
        }
    }
    return trace;
}

RuleEngine::RuleMatchResult RuleEngine::evaluate(const Rule& rule, const FlowDescriptor& flow) const {
    return describe(classify(rule, FlowFacts(flow)), rule, flow);
}

}  // namespace corvane
