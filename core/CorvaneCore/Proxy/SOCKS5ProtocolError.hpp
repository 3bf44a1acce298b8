#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace corvane::SOCKS5 {

// A SOCKS5 message that cannot be built or a reply that is malformed or
// refuses the request. what() says what is wrong in words for the user, with
// what the proxy answered (a version, a method, a reply code and its meaning).
class ProtocolError : public std::exception {
public:
    enum class Kind {
        unsupportedVersion,      // byte(): the version received
        unsupportedAuthMethod,   // byte(): the method received
        connectFailed,           // byte(): the reply code REP
        truncatedResponse,
        noAcceptableAuthMethod,
        credentialsTooLong,
        authenticationFailed,
        hostnameTooLong,
        invalidResponse,
        fragmentationUnsupported,
    };

    static ProtocolError unsupportedVersion(std::uint8_t version) { return {Kind::unsupportedVersion, version}; }
    static ProtocolError unsupportedAuthMethod(std::uint8_t method) { return {Kind::unsupportedAuthMethod, method}; }
    static ProtocolError connectFailed(std::uint8_t code) { return {Kind::connectFailed, code}; }
    static ProtocolError truncatedResponse() { return {Kind::truncatedResponse}; }
    static ProtocolError noAcceptableAuthMethod() { return {Kind::noAcceptableAuthMethod}; }
    static ProtocolError credentialsTooLong() { return {Kind::credentialsTooLong}; }
    static ProtocolError authenticationFailed() { return {Kind::authenticationFailed}; }
    static ProtocolError hostnameTooLong() { return {Kind::hostnameTooLong}; }
    static ProtocolError invalidResponse() { return {Kind::invalidResponse}; }
    static ProtocolError fragmentationUnsupported() { return {Kind::fragmentationUnsupported}; }

    Kind kind() const { return kind_; }
    // The payload of the first three kinds; 0 for the others.
    std::uint8_t byte() const { return byte_; }

    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const ProtocolError& a, const ProtocolError& b) {
        return a.kind_ == b.kind_ && a.byte_ == b.byte_;
    }

private:
    ProtocolError(Kind kind, std::uint8_t byte = 0);

    Kind kind_;
    std::uint8_t byte_;
    std::string description_;
};

}  // namespace corvane::SOCKS5
