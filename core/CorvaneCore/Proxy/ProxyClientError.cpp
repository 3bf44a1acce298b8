#include "CorvaneCore/Proxy/ProxyClientError.hpp"

#include "CorvaneCore/Support/PosixErrorCode.hpp"
#include "CorvaneCore/Proxy/ProxyClient.hpp"

#include <asio/error.hpp>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace corvane {
namespace {

std::string posixName(int code) {
    const char* name = strerrorname_np(code);
    return name ? std::string(name) : std::to_string(code);
}

bool isDNSError(const std::error_code& error) {
    return error.category() == asio::error::get_netdb_category() ||
           error.category() == asio::error::get_addrinfo_category();
}

std::string timedOutText() {
    const double seconds = ProxyClient::connectTimeout.load();
    const long long whole = std::isfinite(seconds) && std::fabs(seconds) < 1e15 ? static_cast<long long>(seconds) : 0;
    return "Timed out after " + std::to_string(whole) + " s \u2014 the proxy did not respond.";
}

std::string descriptionOf(ProxyClientError::Kind kind, const std::error_code& error) {
    using Kind = ProxyClientError::Kind;
    switch (kind) {
    case Kind::connectionFailed:
    case Kind::unreachable: return ProxyClientError::describe(error);
    case Kind::invalidProxyEndpoint: return "Invalid proxy host or port.";
    case Kind::connectionClosed: return "The proxy closed the connection.";
    case Kind::udpUnsupported: return "This proxy type cannot carry UDP.";
    case Kind::emptyChain: return "No proxy configured.";
    case Kind::timedOut: return timedOutText();
    }
    return {};
}

}  // namespace

ProxyClientError::ProxyClientError(Kind kind, std::error_code error)
    : kind_(kind), error_(error), description_(descriptionOf(kind, error)) {}

std::string ProxyClientError::describe(const std::error_code& error) {
    if (const auto code = posixCode(error)) {
        switch (*code) {
        case ENETUNREACH:
        case EHOSTUNREACH: return "No route to the proxy host.";
        case ETIMEDOUT: return "The proxy did not respond.";
        case ECONNREFUSED: return "Connection refused \u2014 nothing is listening on that port.";
        default: return "Connection error (" + posixName(*code) + ").";
        }
    }
    if (isDNSError(error)) return "Could not resolve the proxy host name.";
    return error.message();
}

}  // namespace corvane
