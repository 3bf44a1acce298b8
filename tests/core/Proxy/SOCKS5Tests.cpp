#include "CorvaneCore/Proxy/SOCKS5.hpp"

#include <gtest/gtest.h>

#include "ErrorOf.hpp"

#include <optional>
#include <string>

namespace corvane {
namespace {

using SOCKS5::Bytes;
using SOCKS5::ProtocolError;

// The protocol error a call throws, none when it returns.
const auto errorOf = [](auto call) { return testing::errorOf<ProtocolError>(std::move(call)); };

Bytes concat(Bytes head, const std::string& text, Bytes tail = {}) {
    head.insert(head.end(), text.begin(), text.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(SOCKS5Test, GreetingOffersUserPassOnlyWhenAsked) {
    EXPECT_EQ(SOCKS5::clientGreeting(false), (Bytes{0x05, 0x01, 0x00}));
    EXPECT_EQ(SOCKS5::clientGreeting(true), (Bytes{0x05, 0x02, 0x00, 0x02}));
}

TEST(SOCKS5Test, MethodSelection) {
    EXPECT_EQ(SOCKS5::parseMethodSelection(Bytes{0x05, 0x00}), SOCKS5::AuthMethod::none);
    EXPECT_EQ(SOCKS5::parseMethodSelection(Bytes{0x05, 0x02}), SOCKS5::AuthMethod::userPass);
    EXPECT_EQ(SOCKS5::parseMethodSelection(Bytes{0x05, 0x00, 0x99}), SOCKS5::AuthMethod::none);
    struct Case {
        Bytes reply;
        ProtocolError error;
    };
    const Case cases[] = {
        {{0x05, 0xFF}, ProtocolError::noAcceptableAuthMethod()},
        {{0x05, 0x01}, ProtocolError::unsupportedAuthMethod(1)},
        {{0x04, 0x00}, ProtocolError::unsupportedVersion(4)},
        {{0x04, 0xFF}, ProtocolError::unsupportedVersion(4)},
        {{0x05}, ProtocolError::truncatedResponse()},
        {{}, ProtocolError::truncatedResponse()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorOf([&] { SOCKS5::parseMethodSelection(c.reply); }), c.error)
            << ::testing::PrintToString(c.reply);
    }
}

TEST(SOCKS5Test, AuthMethodFromRaw) {
    EXPECT_EQ(SOCKS5::authMethodFromRaw(0x00), SOCKS5::AuthMethod::none);
    EXPECT_EQ(SOCKS5::authMethodFromRaw(0x02), SOCKS5::AuthMethod::userPass);
    EXPECT_EQ(SOCKS5::authMethodFromRaw(0x01), std::nullopt);
    EXPECT_EQ(SOCKS5::authMethodFromRaw(0xFF), std::nullopt);
}

TEST(SOCKS5Test, UserPassRequestBytesAndLimits) {
    EXPECT_EQ(SOCKS5::userPassRequest({"alice", "s3cret"}),
              concat(concat({0x01, 0x05}, "alice", {0x06}), "s3cret"));
    EXPECT_EQ(SOCKS5::userPassRequest({"", ""}), (Bytes{0x01, 0x00, 0x00}));

    const std::string long255(255, 'u');
    const std::string long256(256, 'u');
    const Bytes max = SOCKS5::userPassRequest({long255, long255});
    EXPECT_EQ(max.size(), 1 + 1 + 255 + 1 + 255u);
    EXPECT_EQ(max[1], 255);
    EXPECT_EQ(max[257], 255);
    EXPECT_EQ(errorOf([&] { SOCKS5::userPassRequest({long256, "p"}); }), ProtocolError::credentialsTooLong());
    EXPECT_EQ(errorOf([&] { SOCKS5::userPassRequest({"u", long256}); }), ProtocolError::credentialsTooLong());
    // Lengths are UTF-8 bytes, not characters.
    EXPECT_EQ(SOCKS5::userPassRequest({"\u00E9", ""}), (Bytes{0x01, 0x02, 0xC3, 0xA9, 0x00}));
}

TEST(SOCKS5Test, UserPassReply) {
    EXPECT_FALSE(errorOf([] { SOCKS5::parseUserPassReply(Bytes{0x01, 0x00}); }));
    EXPECT_FALSE(errorOf([] { SOCKS5::parseUserPassReply(Bytes{0x05, 0x00}); }));
    EXPECT_EQ(errorOf([] { SOCKS5::parseUserPassReply(Bytes{0x01, 0x01}); }), ProtocolError::authenticationFailed());
    EXPECT_EQ(errorOf([] { SOCKS5::parseUserPassReply(Bytes{0x01}); }), ProtocolError::truncatedResponse());
}

TEST(SOCKS5Test, RequestsForEveryAddressForm) {
    const Bytes v6Loopback{0x05, 0x01, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x01, 0xBB};
    Bytes v6Unspecified = v6Loopback;
    v6Unspecified[19] = 0;
    struct Case {
        std::string host;
        Bytes request;
    };
    const Case cases[] = {
        {"10.1.2.3", {0x05, 0x01, 0x00, 0x01, 0x0A, 0x01, 0x02, 0x03, 0x01, 0xBB}},
        {"010.1.1.1", {0x05, 0x01, 0x00, 0x01, 0x0A, 0x01, 0x01, 0x01, 0x01, 0xBB}},
        {"::ffff:10.1.2.3", {0x05, 0x01, 0x00, 0x01, 0x0A, 0x01, 0x02, 0x03, 0x01, 0xBB}},
        {"::1", v6Loopback},
        {"::", v6Unspecified},
        {"example.com", concat({0x05, 0x01, 0x00, 0x03, 0x0B}, "example.com", {0x01, 0xBB})},
        {"Host.", concat({0x05, 0x01, 0x00, 0x03, 0x05}, "Host.", {0x01, 0xBB})},
        {"", {0x05, 0x01, 0x00, 0x03, 0x00, 0x01, 0xBB}},
        {"1.2.3", concat({0x05, 0x01, 0x00, 0x03, 0x05}, "1.2.3", {0x01, 0xBB})},
    };
    for (const auto& c : cases) EXPECT_EQ(SOCKS5::connectRequest(c.host, 443), c.request) << c.host;

    const Bytes v6Doc = SOCKS5::connectRequest("2001:db8::1", 80);
    ASSERT_EQ(v6Doc.size(), 22u);
    EXPECT_EQ(v6Doc[3], 0x04);
    EXPECT_EQ(v6Doc[4], 0x20);
    EXPECT_EQ(v6Doc[5], 0x01);
    EXPECT_EQ(v6Doc[19], 0x01);
}

TEST(SOCKS5Test, UDPAssociateRequestAndPortByteOrder) {
    EXPECT_EQ(SOCKS5::udpAssociateRequest("0.0.0.0", 0), (Bytes{0x05, 0x03, 0x00, 0x01, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(SOCKS5::udpAssociateRequest("1.2.3.4", 0xABCD),
              (Bytes{0x05, 0x03, 0x00, 0x01, 1, 2, 3, 4, 0xAB, 0xCD}));
}

TEST(SOCKS5Test, HostNameLengthLimit) {
    const std::string name255(255, 'a');
    const Bytes request = SOCKS5::connectRequest(name255, 80);
    EXPECT_EQ(request.size(), 4 + 1 + 255 + 2u);
    EXPECT_EQ(request[4], 255);
    EXPECT_EQ(errorOf([] { SOCKS5::connectRequest(std::string(256, 'a'), 80); }), ProtocolError::hostnameTooLong());
    EXPECT_EQ(errorOf([] { SOCKS5::udpAssociateRequest(std::string(256, 'a'), 80); }),
              ProtocolError::hostnameTooLong());
    EXPECT_EQ(errorOf([] { SOCKS5::encapsulateUDP(Bytes{1}, std::string(256, 'a'), 80); }),
              ProtocolError::hostnameTooLong());
}

TEST(SOCKS5Test, ReplyHeaderAndTailLengths) {
    EXPECT_EQ(SOCKS5::parseReplyHeader(Bytes{0x05, 0x00, 0x77, 0x01}), 0x01);
    EXPECT_EQ(SOCKS5::parseReplyHeader(Bytes{0x05, 0x00, 0x00, 0x09}), 0x09);
    EXPECT_EQ(errorOf([] { SOCKS5::parseReplyHeader(Bytes{0x05, 0x05, 0x00, 0x01}); }),
              ProtocolError::connectFailed(5));
    EXPECT_EQ(errorOf([] { SOCKS5::parseReplyHeader(Bytes{0x04, 0x00, 0x00, 0x01}); }),
              ProtocolError::unsupportedVersion(4));
    EXPECT_EQ(errorOf([] { SOCKS5::parseReplyHeader(Bytes{0x05, 0x00, 0x00}); }), ProtocolError::truncatedResponse());

    EXPECT_EQ(SOCKS5::fixedReplyTailLength(0x01), 6u);
    EXPECT_EQ(SOCKS5::fixedReplyTailLength(0x04), 18u);
    EXPECT_EQ(SOCKS5::fixedReplyTailLength(0x03), std::nullopt);
    EXPECT_EQ(errorOf([] { SOCKS5::fixedReplyTailLength(0x05); }), ProtocolError::invalidResponse());
}

TEST(SOCKS5Test, ReplyWithEveryAddressType) {
    Bytes v6{0x05, 0x00, 0x00, 0x04, 0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x1F, 0x90};
    Bytes mappedV6{0x05, 0x00, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 10, 0, 0, 1, 0x00, 0x50};
    struct Case {
        Bytes reply;
        SOCKS5::Endpoint endpoint;
    };
    const Case cases[] = {
        {{0x05, 0x00, 0x00, 0x01, 127, 0, 0, 1, 0x9C, 0x40}, {"127.0.0.1", 40000}},
        {{0x05, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0}, {"0.0.0.0", 0}},
        {v6, {"2001:db8::1", 8080}},
        // The bound address is printed as sent, not folded.
        {mappedV6, {"::ffff:10.0.0.1", 80}},
        {concat({0x05, 0x00, 0x00, 0x03, 0x09}, "proxy.lan", {0x04, 0x38}), {"proxy.lan", 1080}},
        {concat({0x05, 0x00, 0x00, 0x03, 0x03}, "a\xFF" "b", {0x00, 0x01}), {"a\uFFFDb", 1}},
        {{0x05, 0x00, 0x00, 0x03, 0x00, 0x00, 0x02}, {"", 2}},
        // Bytes after the port are not part of the reply.
        {{0x05, 0x00, 0x00, 0x01, 1, 2, 3, 4, 0x00, 0x50, 0xEE}, {"1.2.3.4", 80}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SOCKS5::parseReply(c.reply), c.endpoint) << ::testing::PrintToString(c.reply);
    }
}

TEST(SOCKS5Test, MalformedReplies) {
    struct Case {
        Bytes reply;
        ProtocolError error;
    };
    const Case cases[] = {
        {{0x05, 0x05, 0x00, 0x01}, ProtocolError::connectFailed(5)},
        {{0x05, 0x00, 0x00, 0x05, 1, 2, 3, 4, 0, 80}, ProtocolError::invalidResponse()},
        {{0x04, 0x00, 0x00, 0x01, 1, 2, 3, 4, 0, 80}, ProtocolError::unsupportedVersion(4)},
        {{0x05, 0x00, 0x00}, ProtocolError::truncatedResponse()},
        {{0x05, 0x00, 0x00, 0x01, 1, 2, 3}, ProtocolError::truncatedResponse()},
        {{0x05, 0x00, 0x00, 0x01, 1, 2, 3, 4, 0}, ProtocolError::truncatedResponse()},
        {{0x05, 0x00, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, ProtocolError::truncatedResponse()},
        {{0x05, 0x00, 0x00, 0x03}, ProtocolError::truncatedResponse()},
        {{0x05, 0x00, 0x00, 0x03, 0x05, 'a', 'b'}, ProtocolError::truncatedResponse()},
        {{0x05, 0x00, 0x00, 0x03, 0x01, 'a', 0x00}, ProtocolError::truncatedResponse()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorOf([&] { SOCKS5::parseReply(c.reply); }), c.error) << ::testing::PrintToString(c.reply);
    }
}

TEST(SOCKS5Test, UDPDatagramHeaderBothWays) {
    EXPECT_EQ(SOCKS5::encapsulateUDP(Bytes{0xAA, 0xBB, 0xCC}, "10.0.0.53", 53),
              (Bytes{0x00, 0x00, 0x00, 0x01, 0x0A, 0x00, 0x00, 0x35, 0x00, 0x35, 0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(SOCKS5::encapsulateUDP(Bytes{}, "dns.test", 53),
              concat({0x00, 0x00, 0x00, 0x03, 0x08}, "dns.test", {0x00, 0x35}));

    const Bytes fromName = concat({0x00, 0x00, 0x00, 0x03, 0x04}, "echo", {0x00, 0x07, 'h', 'i'});
    EXPECT_EQ(SOCKS5::decapsulateUDP(fromName), (SOCKS5::UDPDatagram{"echo", 7, {'h', 'i'}}));
    // The reserved bytes are not checked; the payload may be empty.
    EXPECT_EQ(SOCKS5::decapsulateUDP(Bytes{0xFF, 0xFF, 0x00, 0x01, 10, 0, 0, 53, 0x00, 0x35}),
              (SOCKS5::UDPDatagram{"10.0.0.53", 53, {}}));
    Bytes fromV6{0x00, 0x00, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x00, 0x35, 0x42};
    EXPECT_EQ(SOCKS5::decapsulateUDP(fromV6), (SOCKS5::UDPDatagram{"::1", 53, {0x42}}));

    EXPECT_EQ(errorOf([] { SOCKS5::decapsulateUDP(Bytes{0x00, 0x00, 0x01, 0x01, 1, 2, 3, 4, 0, 53}); }),
              ProtocolError::fragmentationUnsupported());
    EXPECT_EQ(errorOf([] { SOCKS5::decapsulateUDP(Bytes{0x00, 0x00, 0x00}); }), ProtocolError::truncatedResponse());
    EXPECT_EQ(errorOf([] { SOCKS5::decapsulateUDP(Bytes{0x00, 0x00, 0x00, 0x01, 1, 2}); }),
              ProtocolError::truncatedResponse());
    EXPECT_EQ(errorOf([] { SOCKS5::decapsulateUDP(Bytes{0x00, 0x00, 0x00, 0x07, 1, 2, 3, 4, 0, 53}); }),
              ProtocolError::invalidResponse());
}

// A refusal says what the proxy answered: its reply code with the code's meaning,
// the version or the method it sent.
TEST(SOCKS5Test, ProtocolErrorsSayWhatTheProxyAnswered) {
    const struct {
        ProtocolError error;
        const char* text;
    } cases[] = {
        {ProtocolError::connectFailed(5), "The SOCKS5 proxy answered “connection refused” (reply code 5)."},
        {ProtocolError::connectFailed(2),
         "The SOCKS5 proxy answered “connection not allowed by its rules” (reply code 2)."},
        {ProtocolError::connectFailed(7), "The SOCKS5 proxy answered “command not supported” (reply code 7)."},
        {ProtocolError::connectFailed(0x42), "The SOCKS5 proxy answered “unknown reply” (reply code 66)."},
        {ProtocolError::unsupportedVersion(4),
         "The proxy did not answer as a SOCKS5 proxy (its reply names version 4)."},
        {ProtocolError::unsupportedAuthMethod(1),
         "The SOCKS5 proxy asks for an authentication method Corvane does not support (method 1)."},
        {ProtocolError::authenticationFailed(),
         "Authentication with the SOCKS5 proxy failed — check the user name and password."},
    };
    for (const auto& c : cases) EXPECT_STREQ(c.error.what(), c.text);
    EXPECT_NE(ProtocolError::connectFailed(5), ProtocolError::connectFailed(7));
}

}  // namespace
}  // namespace corvane
