#include "CorvaneCore/Engine/RuleEngine.hpp"
#include "CorvaneCore/Matching/CIDRBlock.hpp"
#include "CorvaneCore/Matching/HostMatcher.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace corvane {
namespace {

using Result = RuleEngine::RuleMatchResult;

// The engine's definition written out the plain way: every pattern parsed
// and lower-cased again on each test, every list tried in full.
namespace reference {

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) out += (i == 0 ? "" : separator) + items[i];
    return out;
}

std::string braced(const std::vector<std::string>& items) { return "{" + joined(items, ", ") + "}"; }

std::string transports(const Rule& rule) {
    std::vector<std::string> names;
    for (TransportProtocol transport : rule.transports) names.emplace_back(toString(transport));
    std::sort(names.begin(), names.end());
    return braced(names);
}

std::string ports(const Rule& rule) {
    std::vector<std::string> texts;
    for (const PortRange& range : rule.ports) texts.push_back(range.displayText());
    return braced(texts);
}

bool hostPatternMatches(const std::string& pattern, const FlowDescriptor& flow) {
    if (const auto network = CIDRBlock::fromString(pattern)) {
        if (flow.remoteAddress && network->contains(*flow.remoteAddress)) return true;
        const auto literal = flow.remoteHostname ? IPAddressValue::fromString(*flow.remoteHostname) : std::nullopt;
        return literal && network->contains(*literal);
    }
    if (!flow.remoteHostname) return false;
    if (HostMatcher::matches(pattern, *flow.remoteHostname)) return true;
    return pattern.starts_with("*.") && HostMatcher::matches(pattern.substr(2), *flow.remoteHostname);
}

bool applicationPatternMatches(const std::string& pattern, const FlowDescriptor& flow) {
    const auto candidates = flow.applicationMatchCandidates();
    return std::any_of(candidates.begin(), candidates.end(),
                       [&](const std::string& candidate) { return HostMatcher::matches(pattern, candidate); });
}

std::string applicationDescription(const FlowDescriptor& flow) {
    const auto candidates = flow.applicationMatchCandidates();
    std::string description = candidates.empty() ? "(unknown app)" : joined(candidates, " / ");
    if (flow.appIdentity && !flow.appIdentity->isValid && flow.appIdentifier)
        description += " — claims to be “" + *flow.appIdentifier + "”, signature not verified";
    return description;
}

std::string summary(const Rule& rule) {
    std::string text = "matched: ";
    text += rule.applications.empty() ? "any application" : "application in " + braced(rule.applications);
    text += rule.hosts.empty() ? ", any target" : ", target in " + braced(rule.hosts);
    if (!rule.ports.empty()) text += ", port in " + ports(rule);
    if (!rule.transports.empty()) text += ", transport in " + transports(rule);
    return text;
}

Result evaluate(const Rule& rule, const FlowDescriptor& flow) {
    if (!rule.isEnabled) return Result::skippedDisabled();
    if (!rule.transports.empty() && !rule.transports.contains(flow.transport))
        return Result::noMatch("transport " + std::string(toString(flow.transport)) + " is not in " + transports(rule));
    if (!rule.ports.empty() && std::none_of(rule.ports.begin(), rule.ports.end(), [&](const PortRange& range) {
            return range.lowerBound <= flow.remotePort && flow.remotePort <= range.upperBound;
        }))
        return Result::noMatch("port " + std::to_string(flow.remotePort) + " is not in " + ports(rule));
    bool applicationMatched = false;
    for (const auto& pattern : rule.applications) applicationMatched |= applicationPatternMatches(pattern, flow);
    bool hostMatched = false;
    for (const auto& pattern : rule.hosts) hostMatched |= hostPatternMatches(pattern, flow);
    const std::string target = flow.targetDescription();
    if (rule.matchMode == RuleMatchMode::all) {
        if (!rule.applications.empty() && !applicationMatched)
            return Result::noMatch("application " + applicationDescription(flow) + " matches none of " +
                                   braced(rule.applications));
        if (!rule.hosts.empty() && !hostMatched)
            return Result::noMatch("target " + target + " matches none of " + braced(rule.hosts));
        return Result::match(summary(rule));
    }
    if (applicationMatched || hostMatched || (rule.applications.empty() && rule.hosts.empty()))
        return Result::match(summary(rule));
    return Result::noMatch("neither the application nor the target " + target + " belongs to this service");
}

}  // namespace reference

// Pools that the profiles and flows are drawn from: letter case on either
// side, non-ASCII text whose lower-casing changes its length, bytes that are
// not UTF-8, globs with "*" and "?" on either side of the index's key
// lengths, networks of both families (folded and not) with prefixes on
// either side of the index's key bytes, texts that only look like networks
// (a bare domain that reads as one is still a name), and untrimmed patterns.
const std::vector<std::string> kApplicationPatterns = {
    "com.vendor.*",  "COM.VENDOR.APP", "com.vendor.app", "/usr/bin/*",  "/usr/bin/curl",     "/USR/BIN/CU?L",
    "team:4qz8n1vk3t", "team:OTHER",   "ÉCOLE.*",        "*é*",         "?",                 "*",
    "",              "org.example.??????", "a*b",        "i̇stanbul",    "\xE2\x84\xAA*",     "\xFF.app",
    "*.app",         "firefox-esr",    "*firefox*",      " firefox-esr",      "firefox-*",         "firefox*",
    "ssh",
};
const std::vector<std::string> kHostPatterns = {
    "*.example.org", "example.org", "EXAMPLE.ORG",   "*.ÉCOLE.fr",        "école.fr",        "10.0.0.0/8",
    "10.1.2.3",      "::ffff:10.0.0.0/8", "2001:db8::/32", "2001:DB8::1",  "192.168.1.*",     " example.org",
    "*",             "",               "::/0",            "0.0.0.0/0",        "*.",              "api-?.example.org",
    "10.0.0.0/33",   "*.*.org",        "a*b",             "x*",               "*.İstanbul",      "203.0.113.0/24",
    "8.0.0.0/6",     "2000::/3",       "2000::/12",       "*.b.example.org",  "*le.org",          "*.10.0.0.0/8",
};
const std::vector<std::optional<std::string>> kIdentifiers = {
    std::nullopt, "com.vendor.app", "COM.Vendor.App", "école.app", "İstanbul", "k.app", "\xFF.APP", "a*xb",
    "firefox-esr", "org.example.abcdef", "ssh", "firefox",
};
const std::vector<std::optional<std::string>> kPaths = {std::nullopt, "/usr/bin/curl", "/usr/bin/CURL", "/opt/x"};
const std::vector<std::optional<std::string>> kHostnames = {
    std::nullopt,      "",           "Example.ORG",        "api.example.org", "a.b.example.org",   "école.FR",
    "www.ÉCOLE.fr",    "10.1.2.3",   "::ffff:10.1.2.3",    "2001:db8::5",     "api-1.example.org", "a*xb",
    "i̇stanbul",        "x.İstanbul", "192.168.1.5",        "xb",              "10.0.0.0/8",
};
const std::vector<std::optional<std::string>> kAddresses = {std::nullopt, "10.1.2.3",    "192.168.1.5",
                                                            "2001:db8::1", "::1",         "203.0.113.7"};
const std::vector<std::uint16_t> kPorts = {0, 22, 80, 443, 8999, 65535};

class Generator {
public:
    // Up to six rules drawn from the pools.
    Profile profile() {
        Profile profile;
        profile.defaultAction = action();
        for (int n = below(7); n > 0; --n) profile.rules.push_back(rule());
        return profile;
    }

    // Many rules, most of which no flow of the pools meets, so that first
    // matches lie far into the list (past the index's first 64 rules too).
    Profile longProfile(int count) {
        Profile profile;
        profile.defaultAction = action();
        for (int i = 0; i < count; ++i) profile.rules.push_back(below(40) == 0 ? rule() : rareRule(i));
        return profile;
    }

    FlowDescriptor flow() {
        FlowDescriptor flow{.appIdentifier = pick(kIdentifiers),
                            .appPath = pick(kPaths),
                            .remoteHostname = pick(kHostnames),
                            .remotePort = pick(kPorts),
                            .transport = below(2) == 0 ? TransportProtocol::tcp : TransportProtocol::udp};
        if (const auto address = pick(kAddresses)) flow.remoteAddress = IPAddressValue::fromString(*address);
        switch (below(5)) {
        case 0: break;  // not established, as in the simulator
        case 1: flow.appIdentity = identity(true, std::nullopt); break;
        case 2: flow.appIdentity = identity(true, "4QZ8N1VK3T"); break;
        case 3: flow.appIdentity = identity(false, std::nullopt); break;
        default: flow.appIdentity = identity(false, "4QZ8N1VK3T"); break;
        }
        return flow;
    }

private:
    int below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }

    template <class T>
    const T& pick(const std::vector<T>& pool) {
        return pool[static_cast<std::size_t>(below(static_cast<int>(pool.size())))];
    }

    static CodeIdentity identity(bool valid, std::optional<std::string> team) {
        CodeIdentity identity;
        identity.isValid = valid;
        identity.teamIdentifier = std::move(team);
        return identity;
    }

    RuleAction action() {
        switch (below(3)) {
        case 0: return RuleAction::direct();
        case 1: return RuleAction::block();
        default: return RuleAction::proxy(UUID::random());
        }
    }

    PortRange portRange() {
        switch (below(5)) {
        case 0: return PortRange(443);
        case 1: return PortRange(80);
        case 2: return PortRange(8000, 8999);
        case 3: return PortRange(0, 1023);
        default: return PortRange::fromJson(json::parse(R"({"lowerBound":90,"upperBound":80})"));
        }
    }

    Rule rule() {
        Rule rule;
        rule.id = UUID::random();
        rule.name = "rule";
        rule.isEnabled = below(5) != 0;
        for (int n = below(4); n > 0; --n) rule.applications.push_back(pick(kApplicationPatterns));
        for (int n = below(4); n > 0; --n) rule.hosts.push_back(pick(kHostPatterns));
        for (int n = below(4) - 1; n > 0; --n) rule.ports.push_back(portRange());
        if (below(3) == 0) rule.transports.insert(below(2) == 0 ? TransportProtocol::tcp : TransportProtocol::udp);
        if (below(4) == 0) rule.transports = {TransportProtocol::udp, TransportProtocol::tcp};
        rule.matchMode = below(2) == 0 ? RuleMatchMode::all : RuleMatchMode::any;
        rule.action = action();
        return rule;
    }

    Rule rareRule(int n) {
        Rule rule = this->rule();
        rule.isEnabled = true;
        rule.applications = {"net.rare" + std::to_string(n) + ".*"};
        rule.hosts = {"*.rare" + std::to_string(n) + ".example", "172.16." + std::to_string(n % 256) + ".0/24"};
        return rule;
    }

    std::mt19937 random_{20261210};
};

// Compares the engine's verdict, trace and evaluation of every rule tried
// with the definition; the position of the rule that decided, if one did.
std::optional<std::size_t> expectDefinedAnswers(const RuleEngine& engine, const FlowDescriptor& flow) {
    const auto& rules = engine.profile.rules;
    std::vector<Result> expected;
    std::optional<std::size_t> decisive;
    for (std::size_t i = 0; i < rules.size() && !decisive; ++i) {
        expected.push_back(reference::evaluate(rules[i], flow));
        if (expected.back().isMatch()) decisive = i;
        EXPECT_EQ(engine.evaluate(rules[i], flow), expected.back()) << "rule " << i;
    }
    const std::optional<Rule> matchedRule = decisive ? std::optional(rules[*decisive]) : std::nullopt;
    const RuleAction action = matchedRule ? matchedRule->action : engine.profile.defaultAction;

    EXPECT_EQ(engine.verdict(flow), (RuleEngine::Verdict{action, matchedRule}));
    const auto trace = engine.trace(flow);
    EXPECT_EQ(trace.steps.size(), expected.size());
    for (std::size_t i = 0; i < std::min(expected.size(), trace.steps.size()); ++i) {
        EXPECT_EQ(trace.steps[i].id, rules[i].id);
        EXPECT_EQ(trace.steps[i].rule, rules[i]);
        EXPECT_EQ(trace.steps[i].result, expected[i]) << "rule " << i;
        EXPECT_EQ(trace.steps[i].isDecisive, decisive == i);
    }
    EXPECT_EQ(trace.action, action);
    EXPECT_EQ(trace.matchedRule, matchedRule);
    return decisive;
}

TEST(RuleEngineEquivalenceTest, VerdictTraceAndEvaluateFollowTheDefinition) {
    Generator generator;
    int matchedByRule = 0;
    int defaulted = 0;
    for (int p = 0; p < 400; ++p) {
        const RuleEngine engine(generator.profile());
        for (int f = 0; f < 25; ++f) {
            const FlowDescriptor flow = generator.flow();
            SCOPED_TRACE("profile " + std::to_string(p) + ", flow " + std::to_string(f) + " to " +
                         flow.targetDescription());
            (expectDefinedAnswers(engine, flow) ? matchedByRule : defaulted) += 1;
        }
    }
    // Both ends occur often enough for the comparison to mean something.
    EXPECT_GT(matchedByRule, 2000);
    EXPECT_GT(defaulted, 2000);
}

TEST(RuleEngineEquivalenceTest, LongProfilesFollowTheDefinition) {
    Generator generator;
    int matchedFarIn = 0;
    for (int p = 0; p < 20; ++p) {
        const RuleEngine engine(generator.longProfile(300));
        for (int f = 0; f < 25; ++f) {
            const FlowDescriptor flow = generator.flow();
            SCOPED_TRACE("profile " + std::to_string(p) + ", flow " + std::to_string(f) + " to " +
                         flow.targetDescription());
            const auto decisive = expectDefinedAnswers(engine, flow);
            matchedFarIn += decisive && *decisive >= 64 ? 1 : 0;
        }
    }
    EXPECT_GT(matchedFarIn, 150);
}

}  // namespace
}  // namespace corvane
