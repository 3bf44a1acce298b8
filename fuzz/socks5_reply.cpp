// What a SOCKS5 proxy answers during the handshake: the method selection, the
// user/password reply and the CONNECT or UDP ASSOCIATE reply, read the way the
// client reads them from the stream.
#include "CorvaneCore/Matching/IPAddressValue.hpp"
#include "CorvaneCore/Proxy/SOCKS5.hpp"
#include "CorvaneCore/Support/Unicode.hpp"
#include "FuzzCheck.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>

using namespace corvane;
using SOCKS5::ProtocolError;

namespace {

// The length of the reply the client reads: four bytes, then a fixed tail or
// a name's length byte, the name and the port.
std::optional<std::size_t> replyLength(SOCKS5::ByteView data) {
    std::uint8_t addressType = 0;
    std::optional<std::size_t> tail;
    try {
        addressType = SOCKS5::parseReplyHeader(data.first(4));
        tail = SOCKS5::fixedReplyTailLength(addressType);
    } catch (const ProtocolError&) {
        return std::nullopt;
    }
    if (tail) return 4 + *tail;
    if (data.size() < 5) return std::nullopt;
    return 5 + std::size_t{data[4]} + 2;
}

// A bound address the client can use: text, and as it would be sent again.
void checkEndpoint(const SOCKS5::Endpoint& endpoint, std::uint8_t addressType) {
    FUZZ_CHECK(unicode::isValidUTF8(endpoint.host));
    if (addressType == 0x01) FUZZ_CHECK(IPAddressValue::parseV4(endpoint.host).has_value());
    if (addressType == 0x04) FUZZ_CHECK(IPAddressValue::parseV6(endpoint.host).has_value());
    SOCKS5::Bytes request;
    try {
        request = SOCKS5::connectRequest(endpoint.host, endpoint.port);
    } catch (const ProtocolError& error) {
        FUZZ_CHECK(error.kind() == ProtocolError::Kind::hostnameTooLong);
        FUZZ_CHECK(endpoint.host.size() > 255);
        return;
    }
    // The request's address part read back as a reply names the same endpoint.
    SOCKS5::Bytes asReply = request;
    asReply[1] = 0;
    const SOCKS5::Endpoint again = SOCKS5::parseReply(asReply);
    FUZZ_CHECK(again.port == endpoint.port);
    FUZZ_CHECK(SOCKS5::connectRequest(again.host, again.port) == request);
}

void readReply(SOCKS5::ByteView data) {
    if (data.size() < 4) return;
    const auto length = replyLength(data);
    if (!length || data.size() < *length) return;
    // Once the client has read the length the header announced, the reply
    // must parse.
    const SOCKS5::Endpoint endpoint = SOCKS5::parseReply(data.first(*length));
    FUZZ_CHECK(SOCKS5::parseReply(data) == endpoint);
    checkEndpoint(endpoint, data[3]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const SOCKS5::ByteView bytes(data, size);
    try {
        SOCKS5::parseMethodSelection(bytes);
    } catch (const ProtocolError&) {
    }
    try {
        SOCKS5::parseUserPassReply(bytes);
    } catch (const ProtocolError&) {
    }
    try {
        SOCKS5::parseReply(bytes);
    } catch (const ProtocolError&) {
    }
    readReply(bytes);
    return 0;
}
