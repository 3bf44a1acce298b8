#pragma once

// Blocking socket helpers for the relay benchmark programs.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace corvane::bench {

struct Address {
    std::string host;  // an IPv4 literal
    std::uint16_t port = 0;
};

// "HOST:PORT" with an IPv4 literal; none when malformed.
std::optional<Address> parseAddress(const std::string& text);

// A connected socket, or -1 (errno set).
int connectTo(const Address& address);
// A SOCKS5 CONNECT (no authentication) through the proxy the socket is connected to.
bool socksConnect(int fd, const Address& target);
// Listening socket bound to the address, or -1.
int listenOn(const Address& address);
// UDP socket bound to the address, or -1.
int bindDatagram(const Address& address);

bool writeAll(int fd, const void* data, std::size_t size);
// Exactly `size` bytes; false on the stream's end or an error.
bool readExactly(int fd, void* data, std::size_t size);

}  // namespace corvane::bench
