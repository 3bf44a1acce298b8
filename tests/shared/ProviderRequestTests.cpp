#include "Shared/ProviderRequest.hpp"

#include "Shared/ProviderConfiguration.hpp"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

using Kind = ProviderRequest::Kind;

Profile sampleProfile() {
    const UUID id = *UUID::fromString("3F2504E0-4F89-41D3-9A0C-0305E82C3301");
    ProxyServer proxy{id, "Office", ProxyProtocol::socks5, "127.0.0.1", 1080,
                      ProxyCredentials{"ada", "s3cret"}, false};
    return Profile{{proxy}, {}, RuleAction::proxy(id)};
}

TEST(ProviderRequestTest, DecodesBothKindsWithAndWithoutProfile) {
    const std::string profile = toJson(sampleProfile()).dump();
    struct Case {
        std::string data;
        Kind kind;
        std::optional<Profile> profile;
    };
    const Case cases[] = {
        {R"({"kind":"fetchRecords"})", Kind::fetchRecords, std::nullopt},
        {R"({"kind":"fetchRecords","since":12,"x":{}})", Kind::fetchRecords, std::nullopt},
        {R"({"kind":"reloadProfile"})", Kind::reloadProfile, std::nullopt},
        {R"({"kind":"reloadProfile","profile":null})", Kind::reloadProfile, std::nullopt},
        {R"({"profile":)" + profile + R"(,"kind":"reloadProfile"})", Kind::reloadProfile,
         sampleProfile()},
    };
    for (const auto& c : cases) {
        const ProviderRequest request = ProviderRequest::decode(c.data);
        EXPECT_EQ(request.kind, c.kind) << c.data;
        EXPECT_EQ(request.profile, c.profile) << c.data;
    }
    const auto reload =
        ProviderRequest::decode(R"({"kind":"reloadProfile","profile":)" + profile + "}");
    ASSERT_TRUE(reload.profile.has_value());
    EXPECT_EQ(reload.profile->proxies.at(0).credentials->password, "s3cret");
}

TEST(ProviderRequestTest, RejectsDataThatIsNoRequest) {
    const char* const cases[] = {
        R"({"kind":"other"})",
        R"({"kind":"FetchRecords"})",
        R"({"kind":"fetchRecords "})",
        R"({})",
        R"({"kind":null})",
        R"({"kind":1})",
        R"({"profile":{}})",
        R"({"kind":"reloadProfile","profile":5})",
        R"({"kind":"reloadProfile","profile":"{}"})",
        R"({"kind":"reloadProfile","profile":{"proxies":"none"}})",
        R"([])",
        R"(["fetchRecords"])",
        R"("fetchRecords")",
        R"(null)",
        "",
        "{\"kind\":\"fetch\xFFRecords\"}",
        R"({"kind":"fetchRecords")",
    };
    for (const char* data : cases) {
        EXPECT_THROW(ProviderRequest::decode(data), JsonDecodeError) << data;
    }
}

TEST(ProviderRequestTest, ADeeplyNestedRequestIsRefusedBeforeItIsRead) {
    const std::string nested = std::string(50000, '[') + std::string(50000, ']');
    try {
        ProviderRequest::decode(R"({"kind":"reloadProfile","profile":{"proxies":)" + nested + "}}");
        ADD_FAILURE() << "decoded";
    } catch (const JsonDecodeError& e) {
        EXPECT_STREQ(e.what(), "The data is nested more than 64 levels deep.");
    }
}

TEST(ProviderRequestTest, EncodesTheKindAndAPresentProfileOnly) {
    const ProviderRequest fetch{Kind::fetchRecords, std::nullopt};
    const ProviderRequest reloadFromSources{Kind::reloadProfile, std::nullopt};
    EXPECT_EQ(fetch.encoded(), R"({"kind":"fetchRecords"})");
    EXPECT_EQ(reloadFromSources.encoded(), R"({"kind":"reloadProfile"})");

    const ProviderRequest reload{Kind::reloadProfile, sampleProfile()};
    const json::Json encoded = json::parse(reload.encoded());
    EXPECT_EQ(encoded.size(), 2u);
    EXPECT_EQ(encoded["kind"], "reloadProfile");
    EXPECT_EQ(encoded["profile"], toJson(sampleProfile()));  // the plain profile, not a document
    EXPECT_EQ(ProviderRequest::decode(reload.encoded()), reload);
}

TEST(ProviderRequestTest, KindRawValues) {
    EXPECT_EQ(toString(Kind::fetchRecords), "fetchRecords");
    EXPECT_EQ(toString(Kind::reloadProfile), "reloadProfile");
    EXPECT_EQ(providerRequestKindFromString("reloadProfile"), Kind::reloadProfile);
    EXPECT_EQ(providerRequestKindFromString("reloadprofile"), std::nullopt);
}

TEST(ProviderConfigurationTest, KeysAreTheSharedNames) {
    EXPECT_EQ(ProviderConfiguration::profileKey, "profile");
    EXPECT_EQ(ProviderConfiguration::proxySecretsKey, "proxySecrets");
}

}  // namespace
}  // namespace corvane
