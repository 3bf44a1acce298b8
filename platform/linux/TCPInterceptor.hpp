#pragma once

#include "FlowOwnerLookup.hpp"
#include "platform/DiversionBackend.hpp"

#include <asio/ip/tcp.hpp>

#include <memory>
#include <vector>

namespace corvane::platform {

// The transparent listeners TPROXY hands diverted outbound TCP to (127.0.0.1:P
// and [::1]:P). Each accepted connection is looked up (original destination,
// owner) and offered to the provider; a declined one is passed through.
class TCPInterceptor : public std::enable_shared_from_this<TCPInterceptor> {
public:
    TCPInterceptor(asio::any_io_executor executor, std::shared_ptr<FlowOwnerLookup> owners, std::uint32_t bypassMark);

    // Binds both listeners to one free port (or `port`); returns it. Throws std::system_error.
    std::uint16_t open(std::uint16_t port = 0);
    void start(DiversionBackend::FlowHandler newFlow);
    void close();

private:
    void accept(std::size_t which);
    void handle(asio::ip::tcp::socket socket);

    asio::any_io_executor executor_;
    std::shared_ptr<FlowOwnerLookup> owners_;
    const std::uint32_t bypassMark_;
    std::vector<std::unique_ptr<asio::ip::tcp::acceptor>> acceptors_;
    std::vector<SocketAddress> listening_;
    DiversionBackend::FlowHandler newFlow_;
};

}  // namespace corvane::platform
