#include "CorvaneCore/Models/Rule.hpp"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace corvane {
namespace {

const std::string minimalRule =
    R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","name":"Work","action":{"block":{}}})";

json::Json withKey(const char* key, const json::Json& value) {
    json::Json rule = json::parse(minimalRule);
    rule[key] = value;
    return rule;
}

TEST(RuleTest, MinimalObjectReadsWithDefaultsAndWritesAllNineKeys) {
    const Rule rule = Rule::fromJson(json::parse(minimalRule));
    EXPECT_EQ(rule.id.toString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(rule.name, "Work");
    EXPECT_TRUE(rule.isEnabled);
    EXPECT_TRUE(rule.applications.empty());
    EXPECT_TRUE(rule.hosts.empty());
    EXPECT_TRUE(rule.ports.empty());
    EXPECT_TRUE(rule.transports.empty());
    EXPECT_EQ(rule.action, RuleAction::block());
    EXPECT_EQ(rule.matchMode, RuleMatchMode::all);
    EXPECT_EQ(toJson(rule).dump(),
              R"({"action":{"block":{}},"applications":[],"hosts":[],"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)"
              R"("isEnabled":true,"matchMode":"all","name":"Work","ports":[],"transports":[]})");
}

TEST(RuleTest, FullRuleRoundTripsWithTransportsSorted) {
    const Rule rule{.id = *UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"),
                    .name = "Büro “A”",
                    .isEnabled = false,
                    .applications = {"com.example.*", "team:ABCDE12345"},
                    .hosts = {"*.example.com", "10.0.0.0/8"},
                    .ports = {PortRange(443), PortRange(8000, 8080)},
                    .transports = {TransportProtocol::udp, TransportProtocol::tcp},
                    .action = RuleAction::failover({UUID::random(), UUID::random()}),
                    .matchMode = RuleMatchMode::any};
    const json::Json encoded = toJson(rule);
    EXPECT_EQ(encoded["transports"].dump(), R"(["tcp","udp"])");
    EXPECT_EQ(encoded["matchMode"], "any");
    EXPECT_EQ(encoded["ports"].dump(), R"([{"lowerBound":443,"upperBound":443},{"lowerBound":8000,"upperBound":8080}])");
    EXPECT_EQ(Rule::fromJson(json::parse(encoded.dump())), rule);
}

TEST(RuleTest, OptionalKeysReadAsDefaults) {
    const Rule plain = Rule::fromJson(json::parse(minimalRule));
    for (const char* key : {"isEnabled", "applications", "hosts", "ports", "transports", "matchMode"}) {
        EXPECT_EQ(Rule::fromJson(withKey(key, nullptr)), plain) << key;
    }
    EXPECT_EQ(Rule::fromJson(withKey("transports", json::Json::array())), plain);
    EXPECT_EQ(Rule::fromJson(withKey("transports", json::parse(R"(["tcp","tcp"])"))).transports,
              std::set{TransportProtocol::tcp});
    EXPECT_EQ(Rule::fromJson(withKey("transports", json::parse(R"(["udp","tcp","udp"])"))).transports,
              (std::set{TransportProtocol::tcp, TransportProtocol::udp}));
    EXPECT_FALSE(Rule::fromJson(withKey("isEnabled", false)).isEnabled);
    EXPECT_EQ(Rule::fromJson(withKey("matchMode", "any")).matchMode, RuleMatchMode::any);
}

TEST(RuleTest, DecodingFailures) {
    const std::pair<const char*, json::Json> cases[] = {
        {"transports", json::parse(R"(["TCP"])")},
        {"transports", json::parse(R"(["tcp","icmp"])")},
        {"transports", "tcp"},
        {"matchMode", "ALL"},
        {"matchMode", "none"},
        {"isEnabled", "true"},
        {"applications", json::parse(R"(["a",1])")},
        {"hosts", "example.com"},
        {"ports", json::parse(R"([{"lowerBound":1,"upperBound":65536}])")},
        {"ports", json::parse(R"([80])")},
        {"action", json::parse(R"({"direct":{},"block":{}})")},
        {"action", nullptr},
        {"id", "E621E1F8C36C495A93FC0C247A3E6E5F"},
        {"name", nullptr},
    };
    for (const auto& [key, value] : cases) {
        EXPECT_THROW(Rule::fromJson(withKey(key, value)), JsonDecodeError) << key << ": " << value.dump();
    }
    for (const char* key : {"id", "name", "action"}) {
        json::Json missing = json::parse(minimalRule);
        missing.erase(key);
        EXPECT_THROW(Rule::fromJson(missing), JsonDecodeError) << key;
    }
}

TEST(RuleTest, EqualityComparesTransportsAsSetsAndHashFollows) {
    Rule a = Rule::fromJson(json::parse(minimalRule));
    Rule b = a;
    a.transports = {TransportProtocol::tcp, TransportProtocol::udp};
    b.transports = {TransportProtocol::udp, TransportProtocol::tcp};
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<Rule>{}(a), std::hash<Rule>{}(b));
    b.hosts = {"x"};
    Rule c = a;
    c.action = RuleAction::direct();
    Rule d = a;
    d.matchMode = RuleMatchMode::any;
    const std::unordered_set<Rule> set{a, b, c, d, a};
    EXPECT_EQ(set.size(), 4u);
}

}  // namespace
}  // namespace corvane
