#include "CorvaneCore/Models/ProxyServer.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

namespace corvane {
namespace {

constexpr const char* fullProxy =
    R"({"credentials":{"password":"p","username":"u"},"host":"proxy.example","id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)"
    R"("kind":"httpConnect","name":"Office","port":3128,"resolvesHostnamesRemotely":true})";

ProxyServer sampleProxy() {
    return ProxyServer{.id = *UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"),
                       .name = "Office",
                       .kind = ProxyProtocol::httpConnect,
                       .host = "proxy.example",
                       .port = 3128,
                       .credentials = ProxyCredentials{"u", "p"},
                       .resolvesHostnamesRemotely = true};
}

TEST(ProxyProtocolTest, RawTextsAndDisplayNames) {
    EXPECT_EQ(allProxyProtocols, (std::array{ProxyProtocol::socks5, ProxyProtocol::httpConnect}));
    EXPECT_EQ(toString(ProxyProtocol::socks5), "socks5");
    EXPECT_EQ(toString(ProxyProtocol::httpConnect), "httpConnect");
    EXPECT_EQ(displayName(ProxyProtocol::socks5), "SOCKS5");
    EXPECT_EQ(displayName(ProxyProtocol::httpConnect), "HTTPS (CONNECT)");
    EXPECT_EQ(proxyProtocolFromString("httpConnect"), ProxyProtocol::httpConnect);
    EXPECT_EQ(proxyProtocolFromString("SOCKS5"), std::nullopt);
    EXPECT_EQ(proxyProtocolFromString("http"), std::nullopt);
}

TEST(ProxyServerTest, EndpointDescription) {
    ProxyServer proxy = sampleProxy();
    EXPECT_EQ(proxy.endpointDescription(), "proxy.example:3128");
    proxy.host = "::1";
    proxy.port = 443;
    EXPECT_EQ(proxy.endpointDescription(), "::1:443");
    proxy.host = "";
    proxy.port = 0;
    EXPECT_EQ(proxy.endpointDescription(), ":0");
}

TEST(ProxyServerTest, JsonRoundTrip) {
    EXPECT_EQ(toJson(sampleProxy()).dump(), fullProxy);
    EXPECT_EQ(ProxyServer::fromJson(json::parse(fullProxy)), sampleProxy());

    const ProxyServer bare = ProxyServer::fromJson(json::parse(
        R"({"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","name":"S","kind":"socks5","host":"h","port":1080,)"
        R"("resolvesHostnamesRemotely":false,"credentials":null,"unknown":[1]})"));
    EXPECT_FALSE(bare.credentials.has_value());
    EXPECT_EQ(toJson(bare).dump(),
              R"({"host":"h","id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","kind":"socks5","name":"S","port":1080,)"
              R"("resolvesHostnamesRemotely":false})");

    const ProxyServer emptyPassword = ProxyServer::fromJson(json::parse(
        R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","name":"S","kind":"socks5","host":"h","port":1080,)"
        R"("resolvesHostnamesRemotely":false,"credentials":{"username":"","password":""}})"));
    EXPECT_EQ(emptyPassword.credentials, (ProxyCredentials{"", ""}));
}

TEST(ProxyServerTest, DecodingFailures) {
    json::Json base = json::parse(fullProxy);
    const std::pair<const char*, json::Json> replacements[] = {
        {"port", 65536}, {"port", -1}, {"port", true}, {"port", 80.5}, {"port", "80"},
        {"kind", "SOCKS5"}, {"kind", "http"}, {"id", "nope"}, {"id", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}"},
        {"name", 1}, {"host", nullptr}, {"resolvesHostnamesRemotely", "true"},
        {"credentials", json::Json{{"username", "u"}}}, {"credentials", json::Json{{"password", "p"}}},
        {"credentials", "u:p"},
    };
    for (const auto& [key, value] : replacements) {
        json::Json broken = base;
        broken[key] = value;
        EXPECT_THROW(ProxyServer::fromJson(broken), JsonDecodeError) << broken.dump();
    }
    for (const char* key : {"id", "name", "kind", "host", "port", "resolvesHostnamesRemotely"}) {
        json::Json missing = base;
        missing.erase(key);
        EXPECT_THROW(ProxyServer::fromJson(missing), JsonDecodeError) << key;
    }
    base["port"] = 65535;
    EXPECT_EQ(ProxyServer::fromJson(base).port, 65535);
    base["port"] = 0;
    EXPECT_EQ(ProxyServer::fromJson(base).port, 0);
}

TEST(ProxyServerTest, EqualityAndHashCoverEveryField) {
    const ProxyServer base = sampleProxy();
    std::vector<ProxyServer> variants(7, base);
    variants[0].id = UUID::random();
    variants[1].name = "Other";
    variants[2].kind = ProxyProtocol::socks5;
    variants[3].host = "other.example";
    variants[4].port = 3129;
    variants[5].credentials = ProxyCredentials{"u", "q"};
    variants[6].resolvesHostnamesRemotely = false;
    std::unordered_set<ProxyServer> set{base, sampleProxy()};
    for (const ProxyServer& variant : variants) {
        EXPECT_NE(variant, base);
        set.insert(variant);
    }
    EXPECT_EQ(set.size(), 8u);
}

}  // namespace
}  // namespace corvane
