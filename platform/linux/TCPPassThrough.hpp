#pragma once

#include "SocketAddress.hpp"

#include <asio/ip/tcp.hpp>

#include <cstdint>

namespace corvane::platform {

// Carries a declined TCP flow the way the system would have: a connection of
// the daemon's own (carrying the bypass mark) to the original destination,
// with bytes and half-closes copied both ways. When that connection cannot be
// made, the app's connection is reset. Nothing is recorded.
class TCPPassThrough {
public:
    static constexpr std::size_t kBufferSize = 65536;

    static void start(asio::ip::tcp::socket app, const SocketAddress& destination, std::uint32_t bypassMark);
};

}  // namespace corvane::platform
