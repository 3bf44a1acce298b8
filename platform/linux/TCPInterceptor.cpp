#include "TCPInterceptor.hpp"

#include "LinuxTCPFlow.hpp"
#include "SocketOptions.hpp"
#include "TCPPassThrough.hpp"

#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>

#include <algorithm>

namespace corvane::platform {

namespace {

constexpr int kBindAttempts = 16;

SocketAddress addressOf(const asio::ip::tcp::endpoint& endpoint) {
    return SocketAddress::fromRaw(endpoint.data(), static_cast<socklen_t>(endpoint.size()));
}

// TPROXY hands a listener connections to any address only when it is transparent.
void transparent(asio::ip::tcp::acceptor& acceptor, int family) {
    if (const auto error = sockopt::setTransparent(acceptor.native_handle(), family))
        throw std::system_error(error, "transparent TCP listener");
}

}  // namespace

TCPInterceptor::TCPInterceptor(asio::any_io_executor executor, std::shared_ptr<FlowOwnerLookup> owners,
                               std::uint32_t bypassMark)
    : executor_(std::move(executor)), owners_(std::move(owners)), bypassMark_(bypassMark) {}

std::uint16_t TCPInterceptor::open(std::uint16_t port) {
    asio::error_code error;
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
        acceptors_.clear();
        auto v4 = std::make_unique<asio::ip::tcp::acceptor>(executor_);
        v4->open(asio::ip::tcp::v4());
        v4->set_option(asio::socket_base::reuse_address(true));
        transparent(*v4, AF_INET);
        v4->bind({asio::ip::address_v4::loopback(), port}, error);
        if (error) throw std::system_error(error, "TCP listener");
        const auto chosen = v4->local_endpoint().port();
        auto v6 = std::make_unique<asio::ip::tcp::acceptor>(executor_);
        v6->open(asio::ip::tcp::v6());
        v6->set_option(asio::ip::v6_only(true));
        v6->set_option(asio::socket_base::reuse_address(true));
        transparent(*v6, AF_INET6);
        v6->bind({asio::ip::address_v6::loopback(), chosen}, error);
        if (error && port == 0 && error == asio::error::address_in_use) continue;
        if (error) throw std::system_error(error, "TCP listener (IPv6)");
        v4->listen(asio::socket_base::max_listen_connections);
        v6->listen(asio::socket_base::max_listen_connections);
        listening_ = {addressOf(v4->local_endpoint()), addressOf(v6->local_endpoint())};
        acceptors_.push_back(std::move(v4));
        acceptors_.push_back(std::move(v6));
        return chosen;
    }
    throw std::system_error(error, "TCP listener");
}

void TCPInterceptor::start(DiversionBackend::FlowHandler newFlow) {
    newFlow_ = std::move(newFlow);
    for (std::size_t i = 0; i < acceptors_.size(); ++i) accept(i);
}

void TCPInterceptor::close() {
    asio::post(executor_, [self = shared_from_this()] {
        for (auto& acceptor : self->acceptors_) {
            asio::error_code ignored;
            acceptor->close(ignored);
        }
    });
}

void TCPInterceptor::accept(std::size_t which) {
    auto& acceptor = *acceptors_[which];
    acceptor.async_accept(asio::make_strand(executor_), [self = shared_from_this(), which](
                                                            asio::error_code error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || !self->acceptors_[which]->is_open()) return;
        if (!error) asio::post(self->executor_, [self, socket = std::move(socket)]() mutable { self->handle(std::move(socket)); });
        self->accept(which);
    });
}

void TCPInterceptor::handle(asio::ip::tcp::socket socket) {
    asio::error_code error;
    const auto local = socket.local_endpoint(error);
    const auto peer = socket.remote_endpoint(error);
    if (error) return;
    // TPROXY keeps both ends as the program made them: the accepted socket's own
    // address is the original destination, its peer the program's socket.
    const auto destination = addressOf(local);
    // A connection made to the listener itself was not diverted: refuse it.
    if (std::find(listening_.begin(), listening_.end(), destination) != listening_.end()) {
        sockopt::setResetOnClose(socket.native_handle());
        return;
    }
    socket.set_option(asio::ip::tcp::no_delay(true), error);
    auto owner = owners_->tcpOwner(addressOf(peer), destination);
    if (owner.isDaemon) return TCPPassThrough::start(std::move(socket), destination, bypassMark_);
    auto flow = std::make_shared<LinuxTCPFlow>(std::move(socket), destination, std::move(owner.metaData));
    if (!newFlow_(flow)) TCPPassThrough::start(flow->takeSocket(), destination, bypassMark_);
}

}  // namespace corvane::platform
