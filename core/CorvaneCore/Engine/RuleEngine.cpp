#include "CorvaneCore/Engine/RuleEngine.hpp"

#include <string_view>

namespace corvane {
namespace {

using Outcome = CompiledRule::Outcome;

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

RuleEngine::RuleEngine(Profile profile) : profile(std::move(profile)), index_(this->profile.rules) {
    compiledRules_.reserve(this->profile.rules.size());
    for (const Rule& rule : this->profile.rules) compiledRules_.emplace_back(rule);
}

RuleEngine::Verdict RuleEngine::verdict(const FlowDescriptor& flow) const {
    const FlowFacts facts(flow);
    const auto first = index_.findFirst(
        facts, [&](std::size_t position) { return compiledRules_[position].classify(facts) == Outcome::match; });
    if (!first) return {profile.defaultAction, std::nullopt};
    const Rule& rule = profile.rules[*first];
    return {rule.action, rule};
}

RuleAction RuleEngine::action(const FlowDescriptor& flow) const { return verdict(flow).action; }

RuleEngine::Trace RuleEngine::trace(const FlowDescriptor& flow) const {
    const FlowFacts facts(flow);
    Trace trace{{}, profile.defaultAction, std::nullopt};
    for (std::size_t i = 0; i < compiledRules_.size(); ++i) {
        const Rule& rule = profile.rules[i];
        RuleMatchResult result = describe(compiledRules_[i].classify(facts), rule, flow);
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
    return describe(CompiledRule(rule).classify(FlowFacts(flow)), rule, flow);
}

}  // namespace corvane
