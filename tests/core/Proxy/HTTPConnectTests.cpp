#include "CorvaneCore/Proxy/HTTPConnect.hpp"

#include <gtest/gtest.h>

#include "ErrorOf.hpp"

#include <optional>
#include <string>

namespace corvane {
namespace {

using HTTPConnect::Bytes;
using HTTPConnect::ProtocolError;

// The protocol error a call throws, none when it returns.
const auto errorOf = [](auto call) { return testing::errorOf<ProtocolError>(std::move(call)); };

std::string requestText(const std::string& host, std::uint16_t port, const std::optional<ProxyCredentials>& credentials) {
    const Bytes bytes = HTTPConnect::request(host, port, credentials);
    return std::string(bytes.begin(), bytes.end());
}

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

TEST(HTTPConnectTest, RequestBytes) {
    struct Case {
        std::string host;
        std::optional<ProxyCredentials> credentials;
        std::string text;
    };
    const Case cases[] = {
        {"10.0.0.1", std::nullopt,
         "CONNECT 10.0.0.1:443 HTTP/1.1\r\nHost: 10.0.0.1:443\r\nProxy-Connection: keep-alive\r\n\r\n"},
        {"::1", std::nullopt, "CONNECT [::1]:443 HTTP/1.1\r\nHost: [::1]:443\r\nProxy-Connection: keep-alive\r\n\r\n"},
        {"::ffff:1.2.3.4", std::nullopt,
         "CONNECT [::ffff:1.2.3.4]:443 HTTP/1.1\r\nHost: [::ffff:1.2.3.4]:443\r\nProxy-Connection: keep-alive\r\n\r\n"},
        {"Example.COM", std::nullopt,
         "CONNECT Example.COM:443 HTTP/1.1\r\nHost: Example.COM:443\r\nProxy-Connection: keep-alive\r\n\r\n"},
        {"10.0.0.1", ProxyCredentials{"alice", "s3cret"},
         "CONNECT 10.0.0.1:443 HTTP/1.1\r\nHost: 10.0.0.1:443\r\nProxy-Connection: keep-alive\r\n"
         "Proxy-Authorization: Basic YWxpY2U6czNjcmV0\r\n\r\n"},
        {"10.0.0.1", ProxyCredentials{"", ""},
         "CONNECT 10.0.0.1:443 HTTP/1.1\r\nHost: 10.0.0.1:443\r\nProxy-Connection: keep-alive\r\n"
         "Proxy-Authorization: Basic Og==\r\n\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(requestText(c.host, 443, c.credentials), c.text) << c.host;
}

TEST(HTTPConnectTest, BasicAuthorizationPadding) {
    // user:pass of 1, 2 and 3 bytes past a multiple of three exercise both paddings.
    const auto header = [](const std::string& user, const std::string& password) {
        const std::string text = requestText("h", 1, ProxyCredentials{user, password});
        const auto start = text.find("Basic ") + 6;
        return text.substr(start, text.find("\r\n", start) - start);
    };
    EXPECT_EQ(header("a", ""), "YTo=");
    EXPECT_EQ(header("ab", ""), "YWI6");
    EXPECT_EQ(header("Aladdin", "open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(header("\u00FC", "\xFF"), "w7w6/w==");
}

TEST(HTTPConnectTest, FormattedTarget) {
    EXPECT_EQ(HTTPConnect::formattedTarget("10.0.0.1", 8080), "10.0.0.1:8080");
    EXPECT_EQ(HTTPConnect::formattedTarget("2001:db8::1", 0), "[2001:db8::1]:0");
    EXPECT_EQ(HTTPConnect::formattedTarget("010.1.1.1", 65535), "010.1.1.1:65535");
    EXPECT_EQ(HTTPConnect::formattedTarget("fe80::1%lo", 1), "fe80::1%lo:1");
}

TEST(HTTPConnectTest, TargetThatCouldBreakTheRequestIsRefused) {
    const std::string hosts[] = {
        "evil.test\r\nX-Injected: 1", "evil.test\n", "a b", "a\tb", std::string("a\0b", 3), "a\x7F",
        "user@host", "host/path", "host?q", "host#f", "[::1]", "a\\b",
    };
    for (const auto& host : hosts) {
        EXPECT_EQ(errorOf([&] { HTTPConnect::request(host, 443, std::nullopt); }), ProtocolError::invalidTarget())
            << ::testing::PrintToString(host);
    }
    EXPECT_FALSE(errorOf([] { HTTPConnect::request("xn--bcher-kva.example", 443, std::nullopt); }));
    EXPECT_FALSE(errorOf([] { HTTPConnect::request("b\u00FCcher.example", 443, std::nullopt); }));
}

TEST(HTTPConnectTest, ResponseHeadEnd) {
    EXPECT_FALSE(HTTPConnect::isResponseHeadComplete(bytesOf("HTTP/1.1 200 OK\r\n")));
    EXPECT_FALSE(HTTPConnect::isResponseHeadComplete(bytesOf("HTTP/1.1 200 OK\r\n\r")));
    EXPECT_TRUE(HTTPConnect::isResponseHeadComplete(bytesOf("HTTP/1.1 200 OK\r\n\r\n")));
    EXPECT_EQ(HTTPConnect::responseHeadLength(bytesOf("HTTP/1.1 200 OK\r\n\r\nSSH-2.0\r\n\r\n")), 19u);
}

TEST(HTTPConnectTest, StatusCodes) {
    struct Case {
        std::string head;
        std::int64_t status;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 Connection established\r\n\r\n", 200},
        {"HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n", 407},
        {"HTTP/1.1  200  OK\r\n\r\n", 200},
        {"HTTP/1.1 +200\r\n\r\n", 200},
        {"HTTP/2 204\r\n\r\n", 204},
        {"HTTP/1.1 200\r\nX: \xC3\xA9\r\n\r\n", 200},
    };
    for (const auto& c : cases) EXPECT_EQ(HTTPConnect::parseStatusCode(bytesOf(c.head)), c.status) << c.head;

    const std::string malformed[] = {
        "http/1.1 200 OK\r\n\r\n",  "HTTP/1.1\r\n\r\n",          "HTTP/1.1 2x0 OK\r\n\r\n",
        "HTTP/1.1 200\xFF\r\n\r\n", "HTTP/1.1 99999999999999999999 X\r\n\r\n",
        "\r\n\r\n",                 " HTTP/1.1\r\n200\r\n\r\n",
    };
    for (const auto& head : malformed) {
        EXPECT_EQ(errorOf([&] { HTTPConnect::parseStatusCode(bytesOf(head)); }), ProtocolError::malformedResponse())
            << ::testing::PrintToString(head);
    }
}

TEST(HTTPConnectTest, OnlyTwoHundredsAreAccepted) {
    EXPECT_FALSE(errorOf([] { HTTPConnect::validate(200); }));
    EXPECT_FALSE(errorOf([] { HTTPConnect::validate(299); }));
    EXPECT_EQ(errorOf([] { HTTPConnect::validate(300); }), ProtocolError::connectFailed(300));
    EXPECT_EQ(errorOf([] { HTTPConnect::validate(199); }), ProtocolError::connectFailed(199));
    EXPECT_EQ(errorOf([] { HTTPConnect::validate(407); }), ProtocolError::connectFailed(407));
}

// What a proxy's response head makes the handshake say: its status line,
// quoted safely, or why it is not an HTTP answer.
TEST(HTTPConnectTest, ProtocolErrorsQuoteTheProxysStatusLine) {
    const auto failure = [](const std::string& head) -> std::string {
        try {
            HTTPConnect::validate(HTTPConnect::parseStatusCode(bytesOf(head)), HTTPConnect::statusLine(bytesOf(head)));
        } catch (const ProtocolError& error) {
            return error.what();
        }
        return "accepted";
    };
    const std::string longLine = "HTTP/1.1 502 " + std::string(100, 'x');
    const struct {
        std::string head;
        std::string text;
    } cases[] = {
        {"HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n",
         "The proxy refused the connection: “HTTP/1.0 407 Proxy Authentication Required”."},
        {"SSH-2.0-OpenSSH_9.2\r\n\r\n", "The proxy did not answer as an HTTP proxy: “SSH-2.0-OpenSSH_9.2”."},
        {"HTTP/1.1 200\xFF\r\n\r\n", "The proxy did not answer as an HTTP proxy: “HTTP/1.1 200\uFFFD”."},
        {"HTTP/1.1 4\x1B[2J03 \xE2\x80\xAE" "denied\r\n\r\n",
         "The proxy did not answer as an HTTP proxy: “HTTP/1.1 4\uFFFD[2J03 \uFFFDdenied”."},
        {longLine + "\r\n\r\n", "The proxy refused the connection: “" + longLine.substr(0, 80) + "…”."},
        {"\r\n\r\n", "The proxy did not answer as an HTTP proxy."},
        {"HTTP/1.1 200 Connection established\r\n\r\n", "accepted"},
    };
    for (const auto& c : cases) EXPECT_EQ(failure(c.head), c.text) << ::testing::PrintToString(c.head);
    EXPECT_STREQ(ProtocolError::connectFailed(407).what(), "The proxy refused the connection (HTTP status 407).");
    EXPECT_EQ(ProtocolError::connectFailed(407, "HTTP/1.1 407 A"), ProtocolError::connectFailed(407, "HTTP/1.1 407 B"));
}

}  // namespace
}  // namespace corvane
