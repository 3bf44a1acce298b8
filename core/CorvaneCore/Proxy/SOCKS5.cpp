#include "CorvaneCore/Proxy/SOCKS5.hpp"

#include "CorvaneCore/Matching/IPAddressValue.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

#include <array>

namespace corvane::SOCKS5 {
namespace {

constexpr std::uint8_t addressTypeIPv4 = 0x01;
constexpr std::uint8_t addressTypeName = 0x03;
constexpr std::uint8_t addressTypeIPv6 = 0x04;
constexpr std::uint8_t userPassVersion = 0x01;
constexpr std::size_t maxFieldLength = 255;

constexpr std::array<std::uint8_t, 3> greetingNoAuth{version, 1, 0x00};
constexpr std::array<std::uint8_t, 4> greetingUserPass{version, 2, 0x00, 0x02};
constexpr std::array<std::uint8_t, 3> connectPrefix{version, static_cast<std::uint8_t>(Command::connect), 0x00};
constexpr std::array<std::uint8_t, 3> udpAssociatePrefix{version, static_cast<std::uint8_t>(Command::udpAssociate),
                                                         0x00};
constexpr std::array<std::uint8_t, 3> udpHeaderPrefix{0x00, 0x00, 0x00};

void appendText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

void appendAddress(Bytes& out, const IPAddressValue& address) {
    out.push_back(address.isV4() ? addressTypeIPv4 : addressTypeIPv6);
    const Bytes bytes = address.bytes();
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Address type, address and port: an IPv4 literal, an IPv6 literal (sent as
// IPv4 when it folds to one), or else a name sent byte for byte.
void appendAddressAndPort(std::string_view host, std::uint16_t port, Bytes& out) {
    if (const auto v4 = IPAddressValue::parseV4(host)) {
        appendAddress(out, IPAddressValue::v4(*v4));
    } else if (const auto v6 = IPAddressValue::parseV6(host)) {
        const auto folded = IPAddressValue::unmappingIPv4(*v6);
        appendAddress(out, folded ? *folded : IPAddressValue::v6(*v6));
    } else {
        if (host.size() > maxFieldLength) throw ProtocolError::hostnameTooLong();
        out.push_back(addressTypeName);
        out.push_back(static_cast<std::uint8_t>(host.size()));
        appendText(out, host);
    }
    out.push_back(static_cast<std::uint8_t>(port >> 8));
    out.push_back(static_cast<std::uint8_t>(port & 0xFF));
}

std::string hostFromAddressBytes(std::uint8_t type, ByteView bytes) {
    if (type == addressTypeIPv4) {
        return IPAddressValue::v4(std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                  std::uint32_t{bytes[2]} << 8 | bytes[3])
            .description();
    }
    if (type == addressTypeIPv6) {
        IPAddressValue::V6Bytes v6{};
        std::copy(bytes.begin(), bytes.end(), v6.begin());
        return IPAddressValue::v6(v6).description();
    }
    return unicode::replacingInvalidUTF8(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Reads the address type, address and port at `offset`; returns the endpoint
// and moves `offset` just past the port.
Endpoint readAddressAndPort(ByteView data, std::size_t& offset) {
    if (offset >= data.size()) throw ProtocolError::truncatedResponse();
    const std::uint8_t type = data[offset];
    std::size_t start = offset + 1;
    std::size_t length = 0;
    switch (type) {
    case addressTypeIPv4: length = 4; break;
    case addressTypeIPv6: length = 16; break;
    case addressTypeName:
        if (start >= data.size()) throw ProtocolError::truncatedResponse();
        length = data[start];
        start += 1;
        break;
    default: throw ProtocolError::invalidResponse();
    }
    if (data.size() - start < length) throw ProtocolError::truncatedResponse();
    const std::size_t portAt = start + length;
    if (data.size() - portAt < 2) throw ProtocolError::truncatedResponse();
    Endpoint endpoint{hostFromAddressBytes(type, data.subspan(start, length)),
                      static_cast<std::uint16_t>(data[portAt] << 8 | data[portAt + 1])};
    offset = portAt + 2;
    return endpoint;
}

Bytes request(std::span<const std::uint8_t> prefix, std::string_view host, std::uint16_t port) {
    Bytes out(prefix.begin(), prefix.end());
    appendAddressAndPort(host, port, out);
    return out;
}

}  // namespace

std::optional<AuthMethod> authMethodFromRaw(std::uint8_t raw) {
    switch (raw) {
    case static_cast<std::uint8_t>(AuthMethod::none): return AuthMethod::none;
    case static_cast<std::uint8_t>(AuthMethod::userPass): return AuthMethod::userPass;
    default: return std::nullopt;
    }
}

Bytes clientGreeting(bool offersUserPass) {
    if (offersUserPass) return Bytes(greetingUserPass.begin(), greetingUserPass.end());
    return Bytes(greetingNoAuth.begin(), greetingNoAuth.end());
}

AuthMethod parseMethodSelection(ByteView reply) {
    if (reply.size() < 2) throw ProtocolError::truncatedResponse();
    if (reply[0] != version) throw ProtocolError::unsupportedVersion(reply[0]);
    if (reply[1] == 0xFF) throw ProtocolError::noAcceptableAuthMethod();
    const auto method = authMethodFromRaw(reply[1]);
    if (!method) throw ProtocolError::unsupportedAuthMethod(reply[1]);
    return *method;
}

Bytes userPassRequest(const ProxyCredentials& credentials) {
    if (credentials.username.size() > maxFieldLength || credentials.password.size() > maxFieldLength) {
        throw ProtocolError::credentialsTooLong();
    }
    Bytes out{userPassVersion, static_cast<std::uint8_t>(credentials.username.size())};
    appendText(out, credentials.username);
    out.push_back(static_cast<std::uint8_t>(credentials.password.size()));
    appendText(out, credentials.password);
    return out;
}

void parseUserPassReply(ByteView reply) {
    if (reply.size() < 2) throw ProtocolError::truncatedResponse();
    if (reply[1] != 0) throw ProtocolError::authenticationFailed();
}

Bytes connectRequest(std::string_view host, std::uint16_t port) { return request(connectPrefix, host, port); }

Bytes udpAssociateRequest(std::string_view host, std::uint16_t port) {
    return request(udpAssociatePrefix, host, port);
}

std::uint8_t parseReplyHeader(ByteView reply) {
    if (reply.size() < 4) throw ProtocolError::truncatedResponse();
    if (reply[0] != version) throw ProtocolError::unsupportedVersion(reply[0]);
    if (reply[1] != 0) throw ProtocolError::connectFailed(reply[1]);
    return reply[3];
}

std::optional<std::size_t> fixedReplyTailLength(std::uint8_t addressType) {
    switch (addressType) {
    case addressTypeIPv4: return 6;
    case addressTypeIPv6: return 18;
    case addressTypeName: return std::nullopt;
    default: throw ProtocolError::invalidResponse();
    }
}

Endpoint parseReply(ByteView reply) {
    parseReplyHeader(reply);
    std::size_t offset = 3;
    return readAddressAndPort(reply, offset);
}

Bytes encapsulateUDP(ByteView payload, std::string_view host, std::uint16_t port) {
    Bytes out = request(udpHeaderPrefix, host, port);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

UDPDatagram decapsulateUDP(ByteView datagram) {
    if (datagram.size() < 4) throw ProtocolError::truncatedResponse();
    if (datagram[2] != 0) throw ProtocolError::fragmentationUnsupported();
    std::size_t offset = 3;
    Endpoint from = readAddressAndPort(datagram, offset);
    return {std::move(from.host), from.port, Bytes(datagram.begin() + offset, datagram.end())};
}

}  // namespace corvane::SOCKS5
