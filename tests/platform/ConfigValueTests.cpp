#include "platform/TransparentProxyConfiguration.hpp"

#include <gtest/gtest.h>

#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "CorvaneCore/Support/Base64.hpp"

namespace corvane::platform {
namespace {

using nlohmann::json;

TEST(Base64, RoundTripsEveryPaddingLength) {
    for (std::size_t n = 0; n < 7; ++n) {
        Bytes data;
        for (std::size_t i = 0; i < n; ++i) data.push_back(static_cast<std::uint8_t>(0xF0 + i));
        EXPECT_EQ(base64::decode(base64::encode(data)), data) << n;
    }
    EXPECT_EQ(base64::encode(Bytes{'f', 'o', 'o', 'b'}), "Zm9vYg==");
}

TEST(Base64, RejectsMalformedText) {
    for (const char* text : {"Zm9", "Zm9v!A==", "Zg=a", "Z===", "=Zm9", "Zg==Zm9v"}) {
        EXPECT_EQ(base64::decode(text), std::nullopt) << text;
    }
}

TEST(ConfigValue, KeepsDataStringMapsAndOtherValuesApart) {
    std::vector<ConfigValue> values = {
        Bytes{'{', '}'},
        Bytes{},
        StringMap{{"A", "x"}},
        StringMap{},
        json("{}"),                               // text, not data
        json{{"k", "v"}},                         // an object of strings that is not a string map
        json{{"$data", "AAAA"}},                  // looks like data
        json{{"k", 1}},
        json::array({1, 2}),
        json(true),
    };
    for (const auto& value : values) {
        auto text = configValueToJson(value).dump();
        EXPECT_EQ(configValueFromJson(json::parse(text)), value) << text;
    }
    EXPECT_EQ(configValueToJson(Bytes{'h', 'i'}), json::parse(R"({"$data":"aGk="})"));
    EXPECT_EQ(configValueToJson(StringMap{{"A", "x"}}), json::parse(R"({"A":"x"})"));
}

TEST(ConfigValue, BadBase64IsADecodeError) {
    EXPECT_THROW(configValueFromJson(json::parse(R"({"$data":"***"})")), JsonDecodeError);
}

TEST(TransparentProxyConfiguration, RoundTripsWithTypedProviderConfiguration) {
    TransparentProxyConfiguration configuration{
        "Corvane", true,
        {"org.corvane.Corvane.tunnel", "Corvane",
         ConfigurationDictionary{{"profile", Bytes{'{', '}'}},
                               {"proxySecrets", StringMap{{"0F1E", "pw"}}},
                               {"other", json(7)}}}};
    auto decoded = TransparentProxyConfiguration::fromJson(json::parse(toJson(configuration).dump()));
    EXPECT_EQ(decoded, configuration);

    configuration.protocolConfiguration.providerConfiguration.reset();
    EXPECT_EQ(TransparentProxyConfiguration::fromJson(toJson(configuration)), configuration);
}

TEST(TransparentProxyConfiguration, RejectsMissingOrMistypedKeys) {
    for (const char* text : {R"([])", R"({"enabled":true,"protocol":{}})",
                             R"({"localizedDescription":"C","enabled":1,"protocol":{"providerBundleIdentifier":"a","serverAddress":"b"}})",
                             R"({"localizedDescription":"C","enabled":true,"protocol":{"providerBundleIdentifier":"a","serverAddress":"b","providerConfiguration":[]}})"}) {
        EXPECT_THROW(TransparentProxyConfiguration::fromJson(json::parse(text)), JsonDecodeError) << text;
    }
}

}  // namespace
}  // namespace corvane::platform
