#pragma once

#include <exception>
#include <string>
#include <system_error>

namespace corvane {

// A failure of the proxy client that callers tell apart, with its
// user-facing description (what() and errorDescription()).
class ProxyClientError : public std::exception {
public:
    enum class Kind {
        connectionFailed,      // error(): reported by the network stack while connecting, sending or receiving
        unreachable,           // error(): the connection cannot be established now (refused, no route, DNS)
        invalidProxyEndpoint,  // a proxy or relay port cannot be used as an endpoint port
        connectionClosed,      // cancelled while connecting, or the stream ended
        udpUnsupported,        // a UDP association asked of a proxy that is not SOCKS5
        emptyChain,            // an empty list of proxies
        timedOut,              // the connect step or the handshake outlasted the connect time-out
    };

    static ProxyClientError connectionFailed(std::error_code error) { return {Kind::connectionFailed, error}; }
    static ProxyClientError unreachable(std::error_code error) { return {Kind::unreachable, error}; }
    static ProxyClientError invalidProxyEndpoint() { return {Kind::invalidProxyEndpoint}; }
    static ProxyClientError connectionClosed() { return {Kind::connectionClosed}; }
    static ProxyClientError udpUnsupported() { return {Kind::udpUnsupported}; }
    static ProxyClientError emptyChain() { return {Kind::emptyChain}; }
    // Its text names the connect time-out in force when it is made.
    static ProxyClientError timedOut() { return {Kind::timedOut}; }

    Kind kind() const { return kind_; }
    const std::error_code& error() const { return error_; }
    const std::string& errorDescription() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    // The text for an error of the network stack.
    static std::string describe(const std::error_code& error);

private:
    ProxyClientError(Kind kind, std::error_code error = {});

    Kind kind_;
    std::error_code error_;
    std::string description_;
};

}  // namespace corvane
