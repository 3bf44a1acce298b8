#include "UDPPassThrough.hpp"

#include "SocketOptions.hpp"
#include "platform/ReceiveDatagram.hpp"

#include <asio/post.hpp>

#include <cstring>

namespace corvane::platform {

namespace {

asio::ip::udp::endpoint endpointOf(const SocketAddress& address) {
    asio::ip::udp::endpoint endpoint;
    std::memcpy(endpoint.data(), address.raw(), address.length());
    endpoint.resize(address.length());
    return endpoint;
}

}  // namespace

UDPPassThrough::UDPPassThrough(asio::any_io_executor executor, SocketAddress source, std::uint32_t bypassMark,
                               std::shared_ptr<ReplySockets> replies, std::chrono::steady_clock::duration linger)
    : strand_(asio::make_strand(executor)),
      source_(source),
      bypassMark_(bypassMark),
      linger_(linger),
      lastActivity_(std::chrono::steady_clock::now().time_since_epoch().count()),
      replies_(std::move(replies)) {}

UDPPassThrough::Upstream* UDPPassThrough::upstreamFor(const SocketAddress& destination) {
    for (auto& upstream : upstreams_)
        if (upstream->destination == destination) return upstream.get();
    if (upstreams_.size() >= kDestinationLimit) return nullptr;
    auto upstream = std::make_unique<Upstream>(Upstream{destination, asio::ip::udp::socket(strand_)});
    const auto endpoint = endpointOf(destination);
    asio::error_code error;
    upstream->socket.open(endpoint.protocol(), error);
    if (!error) error = sockopt::setMark(upstream->socket.native_handle(), bypassMark_);
    if (!error) upstream->socket.connect(endpoint, error);
    if (error) return nullptr;
    upstreams_.push_back(std::move(upstream));
    receive(*upstreams_.back());
    return upstreams_.back().get();
}

void UDPPassThrough::receive(Upstream& upstream) {
    upstream.socket.async_wait(asio::socket_base::wait_read, [self = shared_from_this(), &upstream](asio::error_code error) {
        if (self->closed_ || error == asio::error::operation_aborted) return;
        std::optional<Bytes> payload;
        if (!error) payload = receiveDatagram(upstream.socket.native_handle(), error);
        if (payload) {
            self->lastActivity_ = std::chrono::steady_clock::now().time_since_epoch().count();
            self->replies_->send(upstream.destination, self->source_, *payload);
        }
        self->receive(upstream);
    });
}

void UDPPassThrough::send(std::vector<std::uint8_t> payload, const SocketAddress& destination) {
    asio::post(strand_, [self = shared_from_this(), payload = std::move(payload), destination] {
        if (self->closed_) return;
        self->lastActivity_ = std::chrono::steady_clock::now().time_since_epoch().count();
        if (auto* upstream = self->upstreamFor(destination)) {
            asio::error_code ignored;
            upstream->socket.send(asio::buffer(payload), 0, ignored);
        }
    });
}

bool UDPPassThrough::expired(std::chrono::steady_clock::time_point now) const {
    return now.time_since_epoch() - std::chrono::steady_clock::duration(lastActivity_.load()) > linger_;
}

void UDPPassThrough::close() {
    asio::post(strand_, [self = shared_from_this()] {
        self->closed_ = true;
        for (auto& upstream : self->upstreams_) {
            asio::error_code ignored;
            upstream->socket.close(ignored);
        }
    });
}

}  // namespace corvane::platform
