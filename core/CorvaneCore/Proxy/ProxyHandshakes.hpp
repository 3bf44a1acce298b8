#pragma once

#include "CorvaneCore/Models/ProxyServer.hpp"
#include "CorvaneCore/Proxy/ProxyStream.hpp"
#include "CorvaneCore/Proxy/SOCKS5.hpp"

#include <asio/awaitable.hpp>

#include <cstdint>
#include <string>

namespace corvane::detail {

// Greeting, method selection and, when selected, user name and password.
asio::awaitable<void> socks5Authenticate(ProxyStream& stream, const ProxyServer& proxy);

// Reads a SOCKS5 reply to its exact length and returns the bound address.
asio::awaitable<SOCKS5::Endpoint> readSOCKS5Reply(ProxyStream& stream);

// Asks an HTTP proxy for a tunnel to host:port. Bytes after the response
// head are left in the stream for whoever reads next.
asio::awaitable<void> performHTTPConnectHandshake(ProxyStream& stream, const ProxyServer& proxy, std::string host,
                                                  std::uint16_t port);

// One hop of a chain over an open stream: the proxy's handshake for host:port.
asio::awaitable<void> performHop(ProxyStream& stream, const ProxyServer& proxy, std::string host, std::uint16_t port);

}  // namespace corvane::detail
