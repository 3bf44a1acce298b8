#pragma once

#include "CorvaneCore/Models/ProxyCredentials.hpp"
#include "CorvaneCore/Proxy/SOCKS5ProtocolError.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Messages of the SOCKS version 5 client protocol (RFC 1928) with user name
// and password authentication (RFC 1929), and the header of UDP datagrams
// carried through a SOCKS5 relay. Pure functions: no input or output, no
// state; failures are thrown as SOCKS5::ProtocolError.
namespace corvane::SOCKS5 {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline constexpr std::uint8_t version = 5;

enum class AuthMethod : std::uint8_t { none = 0x00, userPass = 0x02 };
std::optional<AuthMethod> authMethodFromRaw(std::uint8_t raw);

enum class Command : std::uint8_t { connect = 0x01, udpAssociate = 0x03 };

// A host (dotted IPv4 text, IPv6 text or a name) and a port, as read from a reply.
struct Endpoint {
    std::string host;
    std::uint16_t port = 0;
    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

// One datagram received through a relay, with the address it came from.
struct UDPDatagram {
    std::string host;
    std::uint16_t port = 0;
    Bytes payload;
    friend bool operator==(const UDPDatagram&, const UDPDatagram&) = default;
};

Bytes clientGreeting(bool offersUserPass);
AuthMethod parseMethodSelection(ByteView reply);

Bytes userPassRequest(const ProxyCredentials& credentials);
void parseUserPassReply(ByteView reply);

Bytes connectRequest(std::string_view host, std::uint16_t port);
Bytes udpAssociateRequest(std::string_view host, std::uint16_t port);

// Checks the first four reply bytes and returns the address type.
std::uint8_t parseReplyHeader(ByteView reply);
// Bytes after the header for a fixed-size address type; none for a name.
std::optional<std::size_t> fixedReplyTailLength(std::uint8_t addressType);
// The bound address of a whole reply.
Endpoint parseReply(ByteView reply);

Bytes encapsulateUDP(ByteView payload, std::string_view host, std::uint16_t port);
UDPDatagram decapsulateUDP(ByteView datagram);

}  // namespace corvane::SOCKS5
