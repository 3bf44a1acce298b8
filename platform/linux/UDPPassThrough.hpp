#pragma once

#include "ReplySockets.hpp"
#include "SocketAddress.hpp"

#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

namespace corvane::platform {

// Carries the datagrams of a declined UDP socket that reached the daemon
// before the kernel started to let that socket bypass the diversion: each is
// sent from a marked socket of the daemon and the answers are relayed back as
// sent by the original destination, for a while after the last datagram (or
// until the app's socket is gone).
class UDPPassThrough : public std::enable_shared_from_this<UDPPassThrough> {
public:
    static constexpr std::size_t kDestinationLimit = 16;

    UDPPassThrough(asio::any_io_executor executor, SocketAddress source, std::uint32_t bypassMark,
                   std::shared_ptr<ReplySockets> replies, std::chrono::steady_clock::duration linger);

    void send(std::vector<std::uint8_t> payload, const SocketAddress& destination);
    // Whether the last datagram is longer ago than the linger time.
    bool expired(std::chrono::steady_clock::time_point now) const;
    void close();

private:
    struct Upstream {
        SocketAddress destination;
        asio::ip::udp::socket socket;
    };
    Upstream* upstreamFor(const SocketAddress& destination);
    void receive(Upstream& upstream);

    asio::strand<asio::any_io_executor> strand_;
    const SocketAddress source_;
    const std::uint32_t bypassMark_;
    const std::chrono::steady_clock::duration linger_;
    std::atomic<std::chrono::steady_clock::rep> lastActivity_;
    std::vector<std::unique_ptr<Upstream>> upstreams_;
    const std::shared_ptr<ReplySockets> replies_;
    bool closed_ = false;
};

}  // namespace corvane::platform
