#include "CorvaneCore/Models/Profile.hpp"

#include <gtest/gtest.h>

namespace corvane {
namespace {

ProxyServer proxyNamed(const UUID& id, const char* name) {
    ProxyServer proxy;
    proxy.id = id;
    proxy.name = name;
    proxy.host = "h";
    proxy.port = 1080;
    return proxy;
}

TEST(ProfileTest, EmptyProfile) {
    EXPECT_TRUE(Profile::empty.proxies.empty());
    EXPECT_TRUE(Profile::empty.rules.empty());
    EXPECT_EQ(Profile::empty.defaultAction, RuleAction::direct());
    EXPECT_EQ(toJson(Profile::empty).dump(), R"({"defaultAction":{"direct":{}},"proxies":[],"rules":[]})");
    EXPECT_EQ(Profile::fromJson(json::parse(R"({"proxies":[],"rules":[],"defaultAction":{"direct":{}}})")),
              Profile::empty);
}

TEST(ProfileTest, ProxyWithIDReturnsTheFirstMatch) {
    const UUID shared = UUID::random();
    const UUID other = UUID::random();
    Profile profile;
    profile.proxies = {proxyNamed(other, "other"), proxyNamed(shared, "first"), proxyNamed(shared, "second")};
    ASSERT_NE(profile.proxy(shared), nullptr);
    EXPECT_EQ(profile.proxy(shared)->name, "first");
    EXPECT_EQ(profile.proxy(other)->name, "other");
    EXPECT_EQ(profile.proxy(UUID::random()), nullptr);
    EXPECT_EQ(Profile::empty.proxy(shared), nullptr);
}

TEST(ProfileTest, JsonRoundTrip) {
    Profile profile;
    const UUID proxyID = UUID::random();
    profile.proxies = {proxyNamed(proxyID, "p")};
    profile.proxies[0].credentials = ProxyCredentials{"u", "secret"};
    Rule rule;
    rule.id = UUID::random();
    rule.name = "r";
    rule.action = RuleAction::chain({proxyID, UUID::random()});
    profile.rules = {rule};
    profile.defaultAction = RuleAction::proxy(proxyID);
    EXPECT_EQ(Profile::fromJson(json::parse(toJson(profile).dump())), profile);
}

TEST(ProfileTest, EveryTopLevelKeyIsRequired) {
    const json::Json valid = json::parse(R"({"proxies":[],"rules":[],"defaultAction":{"block":{}}})");
    for (const char* key : {"proxies", "rules", "defaultAction"}) {
        json::Json missing = valid;
        missing.erase(key);
        EXPECT_THROW(Profile::fromJson(missing), JsonDecodeError) << key;
        json::Json null = valid;
        null[key] = nullptr;
        EXPECT_THROW(Profile::fromJson(null), JsonDecodeError) << key;
    }
    for (const char* text : {R"({"proxies":{},"rules":[],"defaultAction":{"block":{}}})",
                             R"({"proxies":[],"rules":[{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"}],"defaultAction":{"block":{}}})",
                             R"({"proxies":[{}],"rules":[],"defaultAction":{"block":{}}})",
                             R"({"proxies":[],"rules":[],"defaultAction":{}})", "[]", "null"}) {
        EXPECT_THROW(Profile::fromJson(json::parse(text)), JsonDecodeError) << text;
    }
}

}  // namespace
}  // namespace corvane
