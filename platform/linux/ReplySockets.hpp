#pragma once

#include "AddressKey.hpp"
#include "SocketAddress.hpp"

#include <cstdint>
#include <list>
#include <mutex>
#include <span>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace corvane::platform {

// Transparent UDP sockets bound to the addresses apps sent to, so that the
// replies the daemon writes reach each app from the address it expects (a
// connected UDP socket drops datagrams from any other). An unconnected socket
// can answer every app, so one socket per such address serves all flows; the
// least recently used is closed beyond the bound. Safe to use from any thread.
class ReplySockets {
public:
    static constexpr std::size_t kLimit = 1024;

    explicit ReplySockets(std::uint32_t bypassMark) : bypassMark_(bypassMark) {}
    ~ReplySockets();
    ReplySockets(const ReplySockets&) = delete;
    ReplySockets& operator=(const ReplySockets&) = delete;

    // Sends one datagram to `to` as sent by `from`.
    std::error_code send(const SocketAddress& from, const SocketAddress& to, std::span<const std::uint8_t> payload);

private:
    using Order = std::list<std::pair<AddressKey, int>>;  // most recently used first

    int socketFor(const SocketAddress& from, std::error_code& error);
    int open(const SocketAddress& from, std::error_code& error) const;

    const std::uint32_t bypassMark_;
    std::mutex lock_;
    Order order_;
    std::unordered_map<AddressKey, Order::iterator, AddressKeyHash> sockets_;
};

}  // namespace corvane::platform
