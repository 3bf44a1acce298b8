#pragma once

#include "SocketAddress.hpp"

#include <cstdint>
#include <deque>
#include <span>
#include <system_error>
#include <utility>

namespace corvane::platform {

// Transparent UDP sockets bound to the addresses an app sent to, so that the
// replies the daemon writes reach the app from the address it expects (a
// connected UDP socket drops datagrams from any other). One socket per
// source address, the oldest closed beyond the bound. Not thread-safe.
class ReplySockets {
public:
    static constexpr std::size_t kLimit = 64;

    explicit ReplySockets(std::uint32_t bypassMark) : bypassMark_(bypassMark) {}
    ~ReplySockets() { closeAll(); }
    ReplySockets(const ReplySockets&) = delete;
    ReplySockets& operator=(const ReplySockets&) = delete;

    // Sends one datagram to `to` as sent by `from`.
    std::error_code send(const SocketAddress& from, const SocketAddress& to, std::span<const std::uint8_t> payload);
    void closeAll();

private:
    int socketFor(const SocketAddress& from, std::error_code& error);

    const std::uint32_t bypassMark_;
    std::deque<std::pair<SocketAddress, int>> sockets_;
};

}  // namespace corvane::platform
