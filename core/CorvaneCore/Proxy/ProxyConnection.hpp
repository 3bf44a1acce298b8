#pragma once

#include <asio/ip/tcp.hpp>

#include <cstdint>
#include <vector>

namespace corvane {

// A TCP connection through every hop to the target, ready for the caller who
// now owns it. The socket runs on its own strand (its executor).
// `initialData` holds bytes of the target's stream that arrived together
// with a proxy's reply: they come before anything read from the socket and
// must be delivered first.
struct ProxyConnection {
    asio::ip::tcp::socket socket;
    std::vector<std::uint8_t> initialData;
};

}  // namespace corvane
