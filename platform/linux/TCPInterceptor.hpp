#pragma once

#include "FlowOwnerLookup.hpp"
#include "platform/DiversionBackend.hpp"

#include <asio/ip/tcp.hpp>

#include <memory>
#include <vector>

namespace corvane::platform {

// The transparent listeners TPROXY hands diverted outbound TCP to (127.0.0.1:P
// and [::1]:P), one pair on every event loop sharing the port, so the kernel
// spreads connections over the loops. Each accepted connection stays on its
// loop: its owner is found off the loops (FlowOwnerLookup), then it is
// offered to the provider there, and a declined one is passed through there.
class TCPInterceptor : public std::enable_shared_from_this<TCPInterceptor> {
public:
    TCPInterceptor(std::vector<asio::any_io_executor> loops, std::shared_ptr<FlowOwnerLookup> owners,
                   std::uint32_t bypassMark);

    // Binds every listener to one free port (or `port`); returns it. Throws std::system_error.
    std::uint16_t open(std::uint16_t port = 0);
    void start(DiversionBackend::FlowHandler newFlow);
    void close();

private:
    std::unique_ptr<asio::ip::tcp::acceptor> listener(const asio::any_io_executor& loop,
                                                      const asio::ip::tcp::endpoint& endpoint, asio::error_code& error);
    bool bindAll(std::uint16_t port, asio::error_code& error);
    void accept(std::size_t which);
    void handle(asio::ip::tcp::socket socket);
    void offer(asio::ip::tcp::socket socket, const SocketAddress& destination, FlowOwnerLookup::Owner owner);

    const std::vector<asio::any_io_executor> loops_;
    std::shared_ptr<FlowOwnerLookup> owners_;
    const std::uint32_t bypassMark_;
    std::vector<std::unique_ptr<asio::ip::tcp::acceptor>> acceptors_;  // fixed once open
    std::vector<SocketAddress> listening_;
    DiversionBackend::FlowHandler newFlow_;
};

}  // namespace corvane::platform
