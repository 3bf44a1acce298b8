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

}  // namespace

TCPInterceptor::TCPInterceptor(std::vector<asio::any_io_executor> loops, std::shared_ptr<FlowOwnerLookup> owners,
                               std::uint32_t bypassMark)
    : loops_(std::move(loops)), owners_(std::move(owners)), bypassMark_(bypassMark) {}

// A transparent listener (TPROXY hands it connections to any address) that shares
// its port with the listeners of the other loops.
std::unique_ptr<asio::ip::tcp::acceptor> TCPInterceptor::listener(const asio::any_io_executor& loop,
                                                                  const asio::ip::tcp::endpoint& endpoint,
                                                                  asio::error_code& error) {
    auto acceptor = std::make_unique<asio::ip::tcp::acceptor>(loop);
    acceptor->open(endpoint.protocol());
    if (endpoint.address().is_v6()) acceptor->set_option(asio::ip::v6_only(true));
    acceptor->set_option(asio::socket_base::reuse_address(true));
    const int family = endpoint.protocol().family();
    if (const auto failed = sockopt::setReusePort(acceptor->native_handle()))
        throw std::system_error(failed, "TCP listener port sharing");
    if (const auto failed = sockopt::setTransparent(acceptor->native_handle(), family))
        throw std::system_error(failed, "transparent TCP listener");
    acceptor->bind(endpoint, error);
    return acceptor;
}

// One IPv4 and one IPv6 listener per loop on `port` (0: the first one picks it);
// false, with `error`, when one cannot be bound.
bool TCPInterceptor::bindAll(std::uint16_t port, asio::error_code& error) {
    acceptors_.clear();
    for (const asio::ip::address& address : {asio::ip::address(asio::ip::address_v4::loopback()),
                                             asio::ip::address(asio::ip::address_v6::loopback())}) {
        for (const auto& loop : loops_) {
            acceptors_.push_back(listener(loop, {address, port}, error));
            if (error) return false;
            port = acceptors_.back()->local_endpoint().port();
        }
    }
    return true;
}

std::uint16_t TCPInterceptor::open(std::uint16_t port) {
    asio::error_code error;
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
        if (bindAll(port, error)) {
            for (auto& acceptor : acceptors_) acceptor->listen(asio::socket_base::max_listen_connections);
            listening_ = {addressOf(acceptors_.front()->local_endpoint()), addressOf(acceptors_.back()->local_endpoint())};
            return listening_.front().port();
        }
        // The port the first listener picked is taken for another: pick again.
        if (port != 0 || error != asio::error::address_in_use) break;
    }
    throw std::system_error(error, "TCP listener");
}

void TCPInterceptor::start(DiversionBackend::FlowHandler newFlow) {
    newFlow_ = std::move(newFlow);
    for (std::size_t i = 0; i < acceptors_.size(); ++i)
        asio::post(acceptors_[i]->get_executor(), [self = shared_from_this(), i] { self->accept(i); });
}

void TCPInterceptor::close() {
    for (std::size_t i = 0; i < acceptors_.size(); ++i) {
        asio::post(acceptors_[i]->get_executor(), [self = shared_from_this(), i] {
            asio::error_code ignored;
            self->acceptors_[i]->close(ignored);
        });
    }
}

// Each listener accepts on its own loop, and the connection stays there.
void TCPInterceptor::accept(std::size_t which) {
    acceptors_[which]->async_accept(
        [self = shared_from_this(), which](asio::error_code error, asio::ip::tcp::socket socket) {
            if (error == asio::error::operation_aborted || !self->acceptors_[which]->is_open()) return;
            self->accept(which);
            if (!error) self->handle(std::move(socket));
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
    // The connection waits, on its loop, for its owner to be found off it.
    auto waiting = std::make_shared<asio::ip::tcp::socket>(std::move(socket));
    owners_->tcpOwner(addressOf(peer), destination, waiting->get_executor(),
                      [self = shared_from_this(), waiting, destination](FlowOwnerLookup::Owner owner) {
                          self->offer(std::move(*waiting), destination, std::move(owner));
                      });
}

void TCPInterceptor::offer(asio::ip::tcp::socket socket, const SocketAddress& destination,
                           FlowOwnerLookup::Owner owner) {
    if (owner.isDaemon) return TCPPassThrough::start(std::move(socket), destination, bypassMark_);
    auto flow = std::make_shared<LinuxTCPFlow>(std::move(socket), destination, std::move(owner.metaData));
    if (!newFlow_(flow)) TCPPassThrough::start(flow->takeSocket(), destination, bypassMark_);
}

}  // namespace corvane::platform
