#include "CorvaneCore/Persistence/ProfileCodec.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace corvane {
namespace {

using Severity = ProfileCodec::Severity;
using Finding = std::pair<Severity, std::string>;

constexpr const char* noEnabledRules = "No rules are enabled; every connection uses the default action.";

std::vector<Finding> findings(const Profile& profile) {
    std::vector<Finding> result;
    for (const ProfileCodec::Issue& issue : ProfileCodec::validate(profile))
        result.emplace_back(issue.severity, issue.message);
    return result;
}

ProxyServer proxy(const UUID& id, std::string name, std::string host) {
    ProxyServer server;
    server.id = id;
    server.name = std::move(name);
    server.host = std::move(host);
    server.port = 1080;
    return server;
}

Rule rule(std::string name, RuleAction action, bool enabled = true) {
    Rule r;
    r.id = UUID::random();
    r.name = std::move(name);
    r.isEnabled = enabled;
    r.action = std::move(action);
    return r;
}

class ProfileValidationTest : public ::testing::Test {
protected:
    const UUID existing = UUID::random();
    const UUID missing = UUID::random();
    const UUID missing2 = UUID::random();

    // One enabled direct rule and one proxy that exists, so only the checked
    // rule contributes findings.
    Profile profileWith(std::vector<Rule> rules) const {
        Profile profile;
        profile.proxies = {proxy(existing, "Existing", "proxy.example")};
        profile.rules = {rule("Base", RuleAction::direct())};
        for (Rule& r : rules) profile.rules.push_back(std::move(r));
        return profile;
    }
};

TEST_F(ProfileValidationTest, RuleActionFindings) {
    const struct {
        RuleAction action;
        std::vector<Finding> expected;
    } cases[] = {
        {RuleAction::direct(), {}},
        {RuleAction::block(), {}},
        {RuleAction::proxy(existing), {}},
        {RuleAction::proxy(missing), {{Severity::error, "Rule “R” routes to a proxy that no longer exists."}}},
        {RuleAction::chain({missing, existing}),
         {{Severity::error, "Rule “R” routes to a proxy that no longer exists."}}},
        {RuleAction::chain({missing, missing2}),
         {{Severity::error, "Rule “R” routes to a proxy that no longer exists."}}},
        {RuleAction::chain({}), {{Severity::error, "Rule “R” has an empty proxy chain."}}},
        {RuleAction::failover({}), {{Severity::error, "Rule “R” has no proxies to fail over between."}}},
        {RuleAction::failover({existing}),
         {{Severity::warning,
           "Rule “R” fails over between a single proxy — add another, or route to it directly."}}},
        {RuleAction::failover({missing}),
         {{Severity::error, "Rule “R” routes to a proxy that no longer exists."},
          {Severity::warning,
           "Rule “R” fails over between a single proxy — add another, or route to it directly."}}},
        {RuleAction::failover({existing, existing}), {}},
        {RuleAction::failover({existing, missing}),
         {{Severity::error, "Rule “R” routes to a proxy that no longer exists."}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findings(profileWith({rule("R", c.action)})), c.expected) << toJson(c.action).dump();
    }
}

TEST_F(ProfileValidationTest, DisabledRulesAreCheckedToo) {
    Profile profile;
    profile.proxies = {proxy(existing, "Existing", "proxy.example")};
    profile.rules = {rule("Off", RuleAction::proxy(missing), false)};
    EXPECT_EQ(findings(profile), (std::vector<Finding>{
                                     {Severity::error, "Rule “Off” routes to a proxy that no longer exists."},
                                     {Severity::warning, noEnabledRules},
                                 }));
}

TEST_F(ProfileValidationTest, DefaultActionFindings) {
    const struct {
        RuleAction action;
        std::vector<Finding> expected;
    } cases[] = {
        {RuleAction::proxy(missing), {{Severity::error, "The default action routes to a missing proxy."}}},
        {RuleAction::failover({missing, missing2}),
         {{Severity::error, "The default action routes to a missing proxy."}}},
        {RuleAction::chain({existing}), {}},
        {RuleAction::chain({}), {}},
        {RuleAction::failover({}), {}},
        {RuleAction::failover({existing}), {}},
    };
    for (const auto& c : cases) {
        Profile profile = profileWith({});
        profile.defaultAction = c.action;
        EXPECT_EQ(findings(profile), c.expected) << toJson(c.action).dump();
    }
}

TEST_F(ProfileValidationTest, ProxyHostsTrimSpacesAndTabsOnly) {
    const struct {
        const char* host;
        bool warned;
    } cases[] = {
        {"", true}, {"   ", true}, {"\t", true}, {"\u00A0", true}, {"\u3000 \u2003", true},
        {"\n", false}, {"\r\n", false}, {" h ", false}, {"\u200B", false},
    };
    for (const auto& c : cases) {
        Profile profile = profileWith({});
        profile.proxies.push_back(proxy(UUID::random(), " Büro “2” ", c.host));
        const std::vector<Finding> expected =
            c.warned ? std::vector<Finding>{{Severity::warning, "Proxy “ Büro “2” ” has no host set."}}
                     : std::vector<Finding>{};
        EXPECT_EQ(findings(profile), expected) << '"' << c.host << '"';
    }
}

TEST_F(ProfileValidationTest, OrderAcrossAllStages) {
    Profile profile;
    profile.proxies = {proxy(existing, "Empty", ""), proxy(missing2, "Blank", "\t ")};
    profile.rules = {rule("First", RuleAction::failover({missing}), false),
                     rule("Second", RuleAction::chain({}), false)};
    profile.defaultAction = RuleAction::proxy(missing);
    EXPECT_EQ(findings(profile),
              (std::vector<Finding>{
                  {Severity::error, "Rule “First” routes to a proxy that no longer exists."},
                  {Severity::warning,
                   "Rule “First” fails over between a single proxy — add another, or route to it directly."},
                  {Severity::error, "Rule “Second” has an empty proxy chain."},
                  {Severity::error, "The default action routes to a missing proxy."},
                  {Severity::warning, "Proxy “Empty” has no host set."},
                  {Severity::warning, "Proxy “Blank” has no host set."},
                  {Severity::warning, noEnabledRules},
              }));
}

TEST_F(ProfileValidationTest, DefaultAndEmptyProfiles) {
    EXPECT_EQ(findings(Profile::makeDefault()), std::vector<Finding>{});
    EXPECT_EQ(findings(Profile::empty), (std::vector<Finding>{{Severity::warning, noEnabledRules}}));
}

TEST_F(ProfileValidationTest, EveryIssueHasItsOwnIdentifier) {
    Profile profile = Profile::empty;
    profile.proxies = {proxy(existing, "A", ""), proxy(existing, "B", "")};
    const auto issues = ProfileCodec::validate(profile);
    ASSERT_EQ(issues.size(), 3u);
    EXPECT_NE(issues[0].id, issues[1].id);
    EXPECT_NE(issues[1].id, issues[2].id);
    EXPECT_NE(issues[0].id, issues[2].id);
}

}  // namespace
}  // namespace corvane
