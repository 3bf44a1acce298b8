#include "CorvaneCore/Models/Profile.hpp"

#include <gtest/gtest.h>

namespace corvane {
namespace {

const UUID withCredentialsID = *UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
const UUID withoutCredentialsID = *UUID::fromString("0B6C4F1A-2D3E-4F50-8A9B-C1D2E3F40516");
const std::string upperID = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";

ProxyServer proxy(const UUID& id, std::optional<ProxyCredentials> credentials) {
    ProxyServer server;
    server.id = id;
    server.name = "proxy";
    server.host = "proxy.example";
    server.port = 1080;
    server.credentials = std::move(credentials);
    return server;
}

Profile sampleProfile() {
    Profile profile;
    profile.proxies = {proxy(withCredentialsID, ProxyCredentials{"u", "p"}), proxy(withoutCredentialsID, std::nullopt)};
    profile.rules = Profile::makeDefault().rules;
    profile.defaultAction = RuleAction::failover({withCredentialsID, withoutCredentialsID});
    return profile;
}

TEST(ProfileCredentialSecretsTest, StripCollectHydrateRoundTrip) {
    const Profile original = sampleProfile();
    const Profile stripped = original.strippingCredentialSecrets();
    EXPECT_EQ(stripped.proxies[0].credentials, (ProxyCredentials{"u", ""}));
    EXPECT_FALSE(stripped.proxies[1].credentials.has_value());
    Profile expected = original;
    expected.proxies[0].credentials->password.clear();
    EXPECT_EQ(stripped, expected);  // nothing but the password changes

    const Profile::CredentialSecrets secrets = original.credentialSecrets();
    EXPECT_EQ(secrets, (Profile::CredentialSecrets{{upperID, "p"}}));
    EXPECT_TRUE(stripped.credentialSecrets().empty());
    EXPECT_EQ(stripped.hydratingCredentialSecrets(secrets), original);
}

TEST(ProfileCredentialSecretsTest, HydratingMatchesExactKeysAndOnlyProxiesWithCredentials) {
    const Profile stripped = sampleProfile().strippingCredentialSecrets();
    struct Case {
        const char* label;
        Profile::CredentialSecrets secrets;
        std::optional<std::string> password;  // of the first proxy
    };
    const Case cases[] = {
        {"exact key", {{upperID, "p"}}, "p"},
        {"lower-case key", {{"e621e1f8-c36c-495a-93fc-0c247a3e6e5f", "p"}}, ""},
        {"empty value", {{upperID, ""}}, ""},
        {"unknown key", {{UUID::random().toString(), "x"}}, ""},
        {"no map", {}, ""},
    };
    for (const Case& c : cases) {
        const Profile hydrated = stripped.hydratingCredentialSecrets(c.secrets);
        EXPECT_EQ(hydrated.proxies[0].credentials->password, c.password) << c.label;
        EXPECT_FALSE(hydrated.proxies[1].credentials.has_value()) << c.label;
    }
    const Profile gainsNothing =
        stripped.hydratingCredentialSecrets({{withoutCredentialsID.toString(), "secret"}});
    EXPECT_FALSE(gainsNothing.proxies[1].credentials.has_value());

    Profile withPassword = sampleProfile();
    EXPECT_EQ(withPassword.hydratingCredentialSecrets({{upperID, ""}}).proxies[0].credentials->password, "");
}

TEST(ProfileCredentialSecretsTest, EmptyPasswordsAndDuplicateIdentifiers) {
    Profile profile;
    profile.proxies = {proxy(withCredentialsID, ProxyCredentials{"a", "first"}),
                       proxy(withCredentialsID, ProxyCredentials{"b", "second"}),
                       proxy(withoutCredentialsID, ProxyCredentials{"c", ""})};
    EXPECT_EQ(profile.credentialSecrets(), (Profile::CredentialSecrets{{upperID, "second"}}));
    const Profile hydrated = profile.strippingCredentialSecrets().hydratingCredentialSecrets({{upperID, "x"}});
    EXPECT_EQ(hydrated.proxies[0].credentials, (ProxyCredentials{"a", "x"}));
    EXPECT_EQ(hydrated.proxies[1].credentials, (ProxyCredentials{"b", "x"}));
    EXPECT_EQ(hydrated.proxies[2].credentials, (ProxyCredentials{"c", ""}));
}

TEST(DefaultProfileTest, OneLocalDirectRule) {
    const Profile profile = Profile::makeDefault();
    EXPECT_TRUE(profile.proxies.empty());
    EXPECT_EQ(profile.defaultAction, RuleAction::direct());
    ASSERT_EQ(profile.rules.size(), 1u);
    const Rule& rule = profile.rules[0];
    EXPECT_EQ(rule.name, "Local & private networks");
    EXPECT_TRUE(rule.isEnabled);
    EXPECT_TRUE(rule.applications.empty());
    EXPECT_EQ(rule.hosts, (std::vector<std::string>{"localhost", "*.local", "127.0.0.0/8", "10.0.0.0/8",
                                                    "172.16.0.0/12", "192.168.0.0/16", "169.254.0.0/16",
                                                    "::1/128", "fe80::/10"}));
    EXPECT_TRUE(rule.ports.empty());
    EXPECT_TRUE(rule.transports.empty());
    EXPECT_EQ(rule.action, RuleAction::direct());
    EXPECT_EQ(rule.matchMode, RuleMatchMode::all);
}

TEST(DefaultProfileTest, EachCallHasAFreshRuleIdentifier) {
    const Profile first = Profile::makeDefault();
    Profile second = Profile::makeDefault();
    EXPECT_NE(first.rules[0].id, second.rules[0].id);
    second.rules[0].id = first.rules[0].id;
    EXPECT_EQ(first, second);
}

}  // namespace
}  // namespace corvane
