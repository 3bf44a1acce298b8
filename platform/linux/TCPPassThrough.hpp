#pragma once

#include "SocketAddress.hpp"

#include <asio/ip/tcp.hpp>

#include <cstdint>

namespace corvane::platform {

// Carries a declined TCP flow the way the system would have: a connection of
// the daemon's own (carrying the bypass mark) to the original destination,
// with bytes spliced and half-closes passed on both ways, all on the app
// connection's loop. When that connection cannot be made, or either side
// fails, both are reset. Nothing is recorded.
class TCPPassThrough {
public:
    static void start(asio::ip::tcp::socket app, const SocketAddress& destination, std::uint32_t bypassMark);
};

}  // namespace corvane::platform
