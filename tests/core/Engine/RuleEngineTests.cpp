#include "CorvaneCore/Engine/RuleEngine.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

using Result = RuleEngine::RuleMatchResult;

const UUID kProxy = *UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

Rule makeRule(std::vector<std::string> applications, std::vector<std::string> hosts,
              RuleMatchMode mode = RuleMatchMode::all) {
    Rule rule;
    rule.id = UUID::random();
    rule.name = "rule";
    rule.applications = std::move(applications);
    rule.hosts = std::move(hosts);
    rule.matchMode = mode;
    rule.action = RuleAction::proxy(kProxy);
    return rule;
}

FlowDescriptor flowFrom(std::optional<std::string> app, std::string_view host, std::uint16_t port = 443,
                        TransportProtocol transport = TransportProtocol::tcp) {
    return FlowDescriptor::make(std::move(app), std::nullopt, host, port, transport);
}

FlowDescriptor addressOnly(std::string_view address, std::uint16_t port = 443) {
    return FlowDescriptor{.appIdentifier = "org.example.app",
                          .remoteAddress = IPAddressValue::fromString(address),
                          .remotePort = port};
}

CodeIdentity identity(bool valid, std::optional<std::string> team = std::nullopt) {
    CodeIdentity identity;
    identity.isValid = valid;
    identity.teamIdentifier = std::move(team);
    return identity;
}

Result evaluate(const Rule& rule, const FlowDescriptor& flow) { return RuleEngine(Profile{}).evaluate(rule, flow); }

struct EvaluateCase {
    std::string what;
    Rule rule;
    FlowDescriptor flow;
    Result expected;
};

void expectResults(const std::vector<EvaluateCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(evaluate(c.rule, c.flow), c.expected);
    }
}

TEST(RuleEngineTest, MatchModesCombineTheApplicationAndHostLists) {
    const Rule all = makeRule({"com.vendor.*"}, {"*.example.org"});
    const Rule any = makeRule({"com.vendor.*"}, {"*.example.org"}, RuleMatchMode::any);
    const Rule hostsOnly = makeRule({}, {"api.example.org"}, RuleMatchMode::any);
    const Rule appsOnly = makeRule({"com.vendor.*"}, {}, RuleMatchMode::any);
    const Rule nothing = makeRule({}, {});
    Rule nothingAny = nothing;
    nothingAny.matchMode = RuleMatchMode::any;
    expectResults({
        {"all: both lists match", all, flowFrom("com.vendor.app", "cdn.example.org"),
         Result::match("matched: application in {com.vendor.*}, target in {*.example.org}")},
        {"all: application fails", all, flowFrom("com.other.app", "cdn.example.org"),
         Result::noMatch("application com.other.app matches none of {com.vendor.*}")},
        {"all: target fails", all, flowFrom("com.vendor.app", "example.net"),
         Result::noMatch("target example.net:443 matches none of {*.example.org}")},
        {"all: both fail, application first", all, flowFrom("com.other.app", "example.net"),
         Result::noMatch("application com.other.app matches none of {com.vendor.*}")},
        {"all: unknown app", all, flowFrom(std::nullopt, "cdn.example.org"),
         Result::noMatch("application (unknown app) matches none of {com.vendor.*}")},
        {"any: host alone matches", any, flowFrom("com.other.app", "cdn.example.org"),
         Result::match("matched: application in {com.vendor.*}, target in {*.example.org}")},
        {"any: application alone matches", any, flowFrom("com.vendor.app", "other.example.net"),
         Result::match("matched: application in {com.vendor.*}, target in {*.example.org}")},
        {"any: neither", any, flowFrom("com.other.app", "other.example.net"),
         Result::noMatch("neither the application nor the target other.example.net:443 belongs to this service")},
        {"any, hosts only: listed host", hostsOnly, flowFrom("anything", "api.example.org"),
         Result::match("matched: any application, target in {api.example.org}")},
        {"any, hosts only: other host", hostsOnly, flowFrom("anything", "www.example.org"),
         Result::noMatch("neither the application nor the target www.example.org:443 belongs to this service")},
        {"any, applications only: other app", appsOnly, flowFrom(std::nullopt, "x.example", 80),
         Result::noMatch("neither the application nor the target x.example:80 belongs to this service")},
        {"all: empty rule", nothing, flowFrom(std::nullopt, "", 0, TransportProtocol::udp),
         Result::match("matched: any application, any target")},
        {"any: empty rule", nothingAny, addressOnly("10.0.0.1"), Result::match("matched: any application, any target")},
    });
}

TEST(RuleEngineTest, TransportAndPortConditionsComeFirstInBothModes) {
    Rule tcpOnly = makeRule({}, {"*.example.org"}, RuleMatchMode::any);
    tcpOnly.transports = {TransportProtocol::tcp};
    tcpOnly.ports = {PortRange(443)};
    Rule both = makeRule({}, {});
    both.transports = {TransportProtocol::udp, TransportProtocol::tcp};
    Rule ported = makeRule({"com.vendor.*"}, {});
    ported.ports = {PortRange(80), PortRange(443), PortRange(8000, 8999)};
    Rule reversedFromJson = makeRule({}, {});
    reversedFromJson.ports = {PortRange::fromJson(json::parse(R"({"lowerBound":90,"upperBound":80})"))};
    expectResults({
        {"udp flow, tcp rule", tcpOnly, flowFrom("a", "api.example.org", 443, TransportProtocol::udp),
         Result::noMatch("transport udp is not in {tcp}")},
        {"summary with port and transport", tcpOnly, flowFrom("a", "example.org"),
         Result::match("matched: any application, target in {*.example.org}, port in {443}, transport in {tcp}")},
        {"transports sorted", both, flowFrom("a", "h", 1, TransportProtocol::udp),
         Result::match("matched: any application, any target, transport in {tcp, udp}")},
        {"port 22", ported, flowFrom("com.vendor.app", "h", 22),
         Result::noMatch("port 22 is not in {80, 443, 8000-8999}")},
        {"port before application", ported, flowFrom("com.other.app", "h", 7999),
         Result::noMatch("port 7999 is not in {80, 443, 8000-8999}")},
        {"port 8999", ported, flowFrom("com.vendor.app", "h", 8999),
         Result::match("matched: application in {com.vendor.*}, any target, port in {80, 443, 8000-8999}")},
        {"reversed stored range holds nothing", reversedFromJson, flowFrom("a", "h", 85),
         Result::noMatch("port 85 is not in {90-80}")},
    });
}

TEST(RuleEngineTest, HostPatterns) {
    struct Case {
        std::string pattern;
        FlowDescriptor flow;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"*.example.org", flowFrom("a", "example.org"), true},
        {"*.example.org", flowFrom("a", "api.example.org"), true},
        {"*.example.org", flowFrom("a", "a.b.example.org"), true},
        {"*.example.org", flowFrom("a", "badexample.org"), false},
        {"example.org", flowFrom("a", "EXAMPLE.Org"), true},
        {"example.org", flowFrom("a", "www.example.org"), false},
        {"10.0.0.0/8", addressOnly("10.1.2.3"), true},
        {"10.0.0.0/8", addressOnly("11.1.2.3"), false},
        {"10.0.0.0/8", FlowDescriptor{.remoteHostname = "10.1.2.3", .remotePort = 1}, true},
        {"10.0.0.0/8", FlowDescriptor{.remoteHostname = "::ffff:10.1.2.3", .remotePort = 1}, true},
        {"10.0.0.0/8", flowFrom("a", "ten.example"), false},
        {"10.0.0.0/8",
         FlowDescriptor{.remoteHostname = "10.9.9.9", .remoteAddress = IPAddressValue::fromString("192.0.2.1")}, true},
        {"10.1.2.3", addressOnly("10.1.2.3"), true},
        {"2001:db8::/32", addressOnly("2001:db8::1"), true},
        {"2001:db8::/32", addressOnly("10.0.0.1"), false},
        {"192.168.1.*", addressOnly("192.168.1.5"), false},
        {"192.168.1.*", FlowDescriptor{.remoteHostname = "192.168.1.5"}, true},
        {" example.org", flowFrom("a", "example.org"), false},  // patterns are used untrimmed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern + " / " + c.flow.targetDescription());
        EXPECT_EQ(evaluate(makeRule({}, {c.pattern}), c.flow).isMatch(), c.matches);
    }
}

TEST(RuleEngineTest, ApplicationCandidatesAndTheirTrust) {
    const FlowDescriptor unverified{.appIdentifier = "com.vendor.app",
                                    .appPath = "/usr/bin/vendor",
                                    .appIdentity = identity(false),
                                    .remoteHostname = "h.example"};
    const FlowDescriptor unverifiedNoPath{.appIdentifier = "com.vendor.app",
                                          .appIdentity = identity(false),
                                          .remoteHostname = "h.example"};
    const FlowDescriptor teamSigned{.appIdentifier = "com.vendor.app",
                                    .appPath = "/usr/bin/vendor",
                                    .appIdentity = identity(true, "4QZ8N1VK3T"),
                                    .remoteHostname = "h.example"};
    EXPECT_EQ(unverified.applicationMatchCandidates(), std::vector<std::string>{"/usr/bin/vendor"});
    EXPECT_EQ(teamSigned.applicationMatchCandidates(),
              (std::vector<std::string>{"com.vendor.app", "/usr/bin/vendor", "team:4QZ8N1VK3T"}));
    EXPECT_EQ(flowFrom("com.vendor.app", "h").applicationMatchCandidates(),
              std::vector<std::string>{"com.vendor.app"});
    expectResults({
        {"claimed identifier not trusted", makeRule({"com.vendor.app"}, {}), unverified,
         Result::noMatch("application /usr/bin/vendor — claims to be “com.vendor.app”, signature not verified "
                         "matches none of {com.vendor.app}")},
        {"claimed identifier, no path", makeRule({"com.vendor.app"}, {}), unverifiedNoPath,
         Result::noMatch("application (unknown app) — claims to be “com.vendor.app”, signature not verified "
                         "matches none of {com.vendor.app}")},
        {"path still matches", makeRule({"/usr/bin/*"}, {}), unverified,
         Result::match("matched: application in {/usr/bin/*}, any target")},
        {"team entry ignores case", makeRule({"team:4qz8n1vk3t"}, {}), teamSigned,
         Result::match("matched: application in {team:4qz8n1vk3t}, any target")},
        {"all candidates named", makeRule({"org.*", "team:OTHER"}, {}), teamSigned,
         Result::noMatch("application com.vendor.app / /usr/bin/vendor / team:4QZ8N1VK3T matches none of "
                         "{org.*, team:OTHER}")},
    });
}

TEST(RuleEngineTest, DescriptorsFromTypedText) {
    const auto spaced = FlowDescriptor::make("a", "/p", "  10.0.0.1 \t", 443, TransportProtocol::udp);
    EXPECT_EQ(spaced.remoteAddress, IPAddressValue::fromString("10.0.0.1"));
    EXPECT_EQ(spaced.remoteHostname, std::nullopt);
    EXPECT_EQ(spaced.appIdentifier, "a");
    EXPECT_EQ(spaced.appPath, "/p");
    EXPECT_EQ(spaced.appIdentity, std::nullopt);
    EXPECT_EQ(spaced.transport, TransportProtocol::udp);
    EXPECT_EQ(spaced.targetDescription(), "10.0.0.1:443");

    const auto empty = FlowDescriptor::make(std::nullopt, std::nullopt, "", 443, TransportProtocol::tcp);
    EXPECT_EQ(empty.remoteHostname, "");
    EXPECT_EQ(empty.targetDescription(), ":443");

    EXPECT_EQ(flowFrom("a", "::ffff:10.0.0.1").remoteAddress, IPAddressValue::fromString("10.0.0.1"));
    EXPECT_EQ(flowFrom("a", " Host.Example ").remoteHostname, "Host.Example");
    EXPECT_EQ(addressOnly("2001:db8::1").targetDescription(), "2001:db8::1:443");
    EXPECT_EQ(FlowDescriptor{.remotePort = 53}.targetDescription(), "?:53");
}

class RuleEngineProfileTest : public ::testing::Test {
protected:
    Rule disabledMatch = [] {
        Rule rule = makeRule({}, {"*.example.org"});
        rule.isEnabled = false;
        rule.action = RuleAction::block();
        return rule;
    }();
    Rule other = makeRule({"com.other.*"}, {});
    Rule catchAll = makeRule({}, {"*.example.org"});
    Rule after = makeRule({}, {});
    RuleEngine engine{Profile{{}, {disabledMatch, other, catchAll, after}, RuleAction::direct()}};
};

TEST_F(RuleEngineProfileTest, TheFirstEnabledMatchDecides) {
    const auto flow = flowFrom("com.vendor.app", "api.example.org");
    const auto verdict = engine.verdict(flow);
    EXPECT_EQ(verdict.action, RuleAction::proxy(kProxy));
    EXPECT_EQ(verdict.matchedRule, catchAll);
    EXPECT_EQ(engine.action(flow), RuleAction::proxy(kProxy));

    const auto trace = engine.trace(flow);
    ASSERT_EQ(trace.steps.size(), 3u);
    EXPECT_EQ(trace.steps[0].id, disabledMatch.id);
    EXPECT_EQ(trace.steps[0].rule, disabledMatch);
    EXPECT_EQ(trace.steps[0].result, Result::skippedDisabled());
    EXPECT_EQ(trace.steps[0].result.reason(), "Rule is disabled");
    EXPECT_FALSE(trace.steps[0].isDecisive);
    EXPECT_EQ(trace.steps[1].result,
              Result::noMatch("application com.vendor.app matches none of {com.other.*}"));
    EXPECT_FALSE(trace.steps[1].isDecisive);
    EXPECT_EQ(trace.steps[2].result.reason(), "matched: any application, target in {*.example.org}");
    EXPECT_TRUE(trace.steps[2].isDecisive);
    EXPECT_EQ(trace.action, verdict.action);
    EXPECT_EQ(trace.matchedRule, catchAll);
    EXPECT_FALSE(trace.usedDefaultAction());
}

TEST_F(RuleEngineProfileTest, WithoutAMatchTheDefaultActionApplies) {
    const RuleEngine engine(Profile{{}, {disabledMatch, other}, RuleAction::failover({kProxy, UUID::random()})});
    const auto flow = flowFrom("com.vendor.app", "api.example.org");
    const auto verdict = engine.verdict(flow);
    EXPECT_EQ(verdict.action, engine.profile.defaultAction);
    EXPECT_EQ(verdict.matchedRule, std::nullopt);
    const auto trace = engine.trace(flow);
    ASSERT_EQ(trace.steps.size(), 2u);
    EXPECT_FALSE(trace.steps[0].isDecisive || trace.steps[1].isDecisive);
    EXPECT_EQ(trace.action, engine.profile.defaultAction);
    EXPECT_TRUE(trace.usedDefaultAction());

    const RuleEngine none(Profile{{}, {}, RuleAction::block()});
    EXPECT_EQ(none.verdict(flow), (RuleEngine::Verdict{RuleAction::block(), std::nullopt}));
    EXPECT_TRUE(none.trace(flow).steps.empty());
    EXPECT_TRUE(none.trace(flow).usedDefaultAction());
}

TEST_F(RuleEngineProfileTest, TraceAndVerdictAlwaysAgree) {
    const std::vector<FlowDescriptor> flows = {
        flowFrom("com.vendor.app", "api.example.org"), flowFrom("com.other.x", "x.example"),
        addressOnly("10.0.0.1"), flowFrom(std::nullopt, ""), flowFrom("a", "example.org", 1, TransportProtocol::udp)};
    for (const auto& profileRules : {std::vector<Rule>{disabledMatch, other, catchAll, after},
                                     std::vector<Rule>{disabledMatch, other}, std::vector<Rule>{other, catchAll}}) {
        const RuleEngine engine(Profile{{}, profileRules, RuleAction::direct()});
        for (const auto& flow : flows) {
            SCOPED_TRACE(flow.targetDescription());
            const auto verdict = engine.verdict(flow);
            const auto trace = engine.trace(flow);
            EXPECT_EQ(trace.action, verdict.action);
            EXPECT_EQ(trace.matchedRule, verdict.matchedRule);
        }
    }
}

struct UDPCase {
    std::string what;
    RuleAction defaultAction;
    std::vector<Rule> rules;
    bool couldRoute;
    UDPInterception ordinary;  // for an ordinary application
    UDPInterception resolver;  // for the system resolver
};

Rule udpRule(RuleAction action, std::set<TransportProtocol> transports, bool enabled = true) {
    Rule rule = makeRule({}, {});
    rule.action = std::move(action);
    rule.transports = std::move(transports);
    rule.isEnabled = enabled;
    return rule;
}

TEST(UDPInterceptionTest, TreatmentOfNewUDPFlows) {
    using enum UDPInterception;
    const auto tcp = std::set{TransportProtocol::tcp};
    const auto udp = std::set{TransportProtocol::udp};
    const auto both = std::set{TransportProtocol::tcp, TransportProtocol::udp};
    const std::vector<UDPCase> cases = {
        {"no rules", RuleAction::direct(), {}, false, decline, snoopDNSOnly},
        {"proxy rule for tcp only", RuleAction::direct(), {udpRule(RuleAction::proxy(kProxy), tcp)}, false, decline,
         snoopDNSOnly},
        {"proxy rule with udp", RuleAction::direct(), {udpRule(RuleAction::proxy(kProxy), both)}, true, routed,
         routed},
        {"proxy rule for any transport", RuleAction::direct(), {udpRule(RuleAction::proxy(kProxy), {})}, true,
         routed, routed},
        {"disabled proxy rule", RuleAction::direct(), {udpRule(RuleAction::proxy(kProxy), udp, false)}, false,
         decline, snoopDNSOnly},
        {"failover rule with no proxies", RuleAction::direct(), {udpRule(RuleAction::failover({}), {})}, false,
         decline, snoopDNSOnly},
        {"default proxy", RuleAction::proxy(kProxy), {}, true, routed, routed},
        {"default chain", RuleAction::chain({kProxy}), {}, true, routed, routed},
        {"default empty chain", RuleAction::chain({}), {}, false, decline, snoopDNSOnly},
        // A block that applies to UDP must be enforced, so those flows are taken over.
        {"default block", RuleAction::block(), {}, false, routed, routed},
        {"block rule for udp", RuleAction::direct(), {udpRule(RuleAction::block(), udp)}, false, routed, routed},
        {"block rule for tcp only", RuleAction::direct(), {udpRule(RuleAction::block(), tcp)}, false, decline,
         snoopDNSOnly},
        {"disabled block rule", RuleAction::direct(), {udpRule(RuleAction::block(), {}, false)}, false, decline,
         snoopDNSOnly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Profile profile{{}, c.rules, c.defaultAction};
        EXPECT_EQ(profile.couldRouteUDPThroughProxy(), c.couldRoute);
        EXPECT_EQ(profile.udpInterception("org.example.app"), c.ordinary);
        EXPECT_EQ(profile.udpInterception(std::nullopt), c.ordinary);
        EXPECT_EQ(profile.udpInterception(std::string(Profile::systemResolverIdentifier)), c.resolver);
    }
}

TEST(UDPInterceptionTest, TheSystemResolverIsSystemdResolvedAndNamesAreExact) {
    EXPECT_EQ(Profile::systemResolverIdentifier, "systemd-resolved");
    EXPECT_EQ(Profile{}.udpInterception("Systemd-resolved"), UDPInterception::decline);
    EXPECT_EQ(toString(UDPInterception::snoopDNSOnly), "snoopDNSOnly");
    EXPECT_EQ(udpInterceptionFromString("routed"), UDPInterception::routed);
    EXPECT_EQ(udpInterceptionFromString("Routed"), std::nullopt);
}

}  // namespace
}  // namespace corvane
