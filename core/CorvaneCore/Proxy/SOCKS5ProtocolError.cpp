#include "CorvaneCore/Proxy/SOCKS5ProtocolError.hpp"

namespace corvane::SOCKS5 {

namespace {

// The meaning of a reply code (REP) of a refused request.
std::string replyMeaning(std::uint8_t code) {
    switch (code) {
    case 1: return "general failure";
    case 2: return "connection not allowed by its rules";
    case 3: return "network unreachable";
    case 4: return "host unreachable";
    case 5: return "connection refused";
    case 6: return "time to live expired";
    case 7: return "command not supported";
    case 8: return "address type not supported";
    default: return "unknown reply";
    }
}

std::string describe(ProtocolError::Kind kind, std::uint8_t byte) {
    using Kind = ProtocolError::Kind;
    const std::string number = std::to_string(byte);
    switch (kind) {
    case Kind::unsupportedVersion:
        return "The proxy did not answer as a SOCKS5 proxy (its reply names version " + number + ").";
    case Kind::unsupportedAuthMethod:
        return "The SOCKS5 proxy asks for an authentication method Corvane does not support (method " + number + ").";
    case Kind::connectFailed:
        return "The SOCKS5 proxy answered “" + replyMeaning(byte) + "” (reply code " + number + ").";
    case Kind::truncatedResponse: return "The SOCKS5 proxy sent an incomplete reply.";
    case Kind::noAcceptableAuthMethod:
        return "The SOCKS5 proxy accepts none of the authentication methods Corvane offered.";
    case Kind::credentialsTooLong: return "The user name or password is longer than SOCKS5 allows (255 bytes).";
    case Kind::authenticationFailed:
        return "Authentication with the SOCKS5 proxy failed — check the user name and password.";
    case Kind::hostnameTooLong: return "The destination host name is longer than SOCKS5 allows (255 bytes).";
    case Kind::invalidResponse: return "The SOCKS5 proxy sent a reply with an unknown address type.";
    case Kind::fragmentationUnsupported:
        return "The SOCKS5 proxy sent a fragmented UDP datagram, which Corvane does not support.";
    }
    return {};
}

}  // namespace

ProtocolError::ProtocolError(Kind kind, std::uint8_t byte)
    : kind_(kind), byte_(byte), description_(describe(kind, byte)) {}

}  // namespace corvane::SOCKS5
