#include "Tunnel/FlowRelay.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include <asio/error.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>

#include "platform/SplicePump.hpp"

namespace corvane::tunnel {

// The connection through the proxies with the bytes it brought along; pending
// completions keep it alive after the relay is gone.
struct FlowRelay::Upstream {
    asio::ip::tcp::socket socket;
    platform::Bytes initialData;
    bool sendShutDown = false;  // touched on the socket's executor only
};

// What a splice pump needs alive while it runs: both sockets' owners.
struct FlowRelay::Ends {
    std::shared_ptr<platform::AppProxyTCPFlow> flow;
    std::shared_ptr<Upstream> upstream;
};

namespace {

// The kernel has torn the connection down (TCP_CLOSE): it was reset or timed out, or
// both sides have sent their FIN.
bool isTornDown(asio::ip::tcp::socket& socket) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(socket.native_handle(), IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return false;
    return info.tcpi_state == TCP_CLOSE;
}

}  // namespace

FlowRelay::FlowRelay(std::shared_ptr<platform::AppProxyTCPFlow> flow, ProxyConnection upstream,
                     CloseHandler onClose)
    : flow_(std::move(flow)),
      upstream_(std::make_shared<Upstream>(
          Upstream{std::move(upstream.socket), std::move(upstream.initialData)})),
      onClose_(std::move(onClose)) {}

void FlowRelay::start() {
    if (flow_->kernelSocket()) {
        ends_ = std::make_shared<Ends>(Ends{flow_, upstream_});
        spliceToUpstream();
    }
    else readFromFlow();
    writeInitialData();
}

// Where the flow is a kernel socket its bytes move both ways inside the kernel,
// with the same counts, half-closes and endings as the copying path.
void FlowRelay::spliceToUpstream() {
    std::weak_ptr<FlowRelay> weak = weak_from_this();
    platform::SplicePump::start(
        *flow_->kernelSocket(), upstream_->socket, ends_,
        [weak](std::size_t length) {
            if (auto self = weak.lock()) self->count(&Counters::bytesSent, length);
        },
        [weak](platform::Error error) {
            auto self = weak.lock();
            if (!self) return;
            if (error) return self->finish(error);
            self->halfCloseUpstream();
        });
}

void FlowRelay::spliceToFlow() {
    std::weak_ptr<FlowRelay> weak = weak_from_this();
    platform::SplicePump::start(
        upstream_->socket, *flow_->kernelSocket(), ends_,
        [weak](std::size_t length) {
            if (auto self = weak.lock()) self->count(&Counters::bytesReceived, length);
        },
        [weak](platform::Error error) {
            if (auto self = weak.lock()) self->upstreamEnded(error);
        });
}

void FlowRelay::readFromFlow() {
    std::weak_ptr<FlowRelay> weak = weak_from_this();
    flow_->readData([weak](std::optional<platform::Bytes> data, platform::Error error) {
        auto self = weak.lock();
        if (!self) return;
        if (error) return self->finish(error);
        if (!data || data->empty()) return self->halfCloseUpstream();
        self->count(&Counters::bytesSent, data->size());
        self->sendUpstream(std::move(*data));
    });
}

void FlowRelay::sendUpstream(platform::Bytes data) {
    std::weak_ptr<FlowRelay> weak = weak_from_this();
    auto upstream = upstream_;
    asio::post(upstream->socket.get_executor(), [weak, upstream, data = std::move(data)]() mutable {
        auto payload = std::make_shared<platform::Bytes>(std::move(data));
        asio::async_write(upstream->socket, asio::buffer(*payload),
                          [weak, payload](const std::error_code& error, std::size_t) {
                              auto self = weak.lock();
                              if (!self) return;
                              if (error) return self->finish(error);
                              self->readFromFlow();
                          });
    });
}

void FlowRelay::halfCloseUpstream() {
    auto upstream = upstream_;
    asio::post(upstream->socket.get_executor(), [upstream] {
        std::error_code ignored;
        upstream->socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
        upstream->sendShutDown = true;
    });
}

void FlowRelay::writeInitialData() {
    if (upstream_->initialData.empty()) return receiveFromUpstream();
    // The target's first bytes arrived with the proxy's reply: they come first.
    platform::Bytes data = std::move(upstream_->initialData);
    upstream_->initialData.clear();
    writeToFlow(std::move(data));
}

void FlowRelay::receiveFromUpstream() {
    if (flow_->kernelSocket()) return spliceToFlow();
    std::weak_ptr<FlowRelay> weak = weak_from_this();
    auto upstream = upstream_;
    asio::post(upstream->socket.get_executor(), [weak, upstream] {
        if (auto self = weak.lock()) self->readUpstream(false);
    });
}

// An idle relay holds no receive buffer: it waits until the proxy side is readable,
// then takes one sized to what the kernel has queued.
void FlowRelay::readUpstream(bool readable) {
    auto& socket = upstream_->socket;
    std::error_code error;
    const std::size_t queued = socket.available(error);
    if (queued == 0 && !readable && !error) return awaitUpstream();
    platform::Bytes data(std::clamp<std::size_t>(queued, 1, kMaximumReceive));
    socket.non_blocking(true, error);
    const std::size_t length = socket.read_some(asio::buffer(data), error);
    if (length > 0) {
        data.resize(length);
        return writeToFlow(std::move(data));
    }
    if (error == asio::error::would_block || error == asio::error::try_again) return awaitUpstream();
    if (error == asio::error::eof) return upstreamEnded({});
    if (error) return finish(error);
    awaitUpstream();
}

void FlowRelay::upstreamEnded(platform::Error error) {
    if (error) return finish(error);
    // A reset reads as the end once a failed write has taken its error: torn down
    // while our side still sends, the connection was reset, not closed.
    if (!upstream_->sendShutDown && isTornDown(upstream_->socket)) return finish(asio::error::connection_reset);
    // The proxy side closed: end the application's stream, then the relay.
    flow_->closeWrite({});
    finish({});
}

void FlowRelay::awaitUpstream() {
    std::weak_ptr<FlowRelay> weak = weak_from_this();
    auto upstream = upstream_;
    upstream->socket.async_wait(asio::socket_base::wait_read, [weak, upstream](const std::error_code& error) {
        auto self = weak.lock();
        if (!self) return;
        if (error) return self->finish(error);
        self->readUpstream(true);
    });
}

void FlowRelay::writeToFlow(platform::Bytes data) {
    count(&Counters::bytesReceived, data.size());
    std::weak_ptr<FlowRelay> weak = weak_from_this();
    flow_->write(std::move(data), [weak](platform::Error error) {
        auto self = weak.lock();
        if (!self) return;
        if (error) return self->finish(error);
        self->receiveFromUpstream();
    });
}

void FlowRelay::count(std::uint64_t Counters::*counter, std::size_t length) {
    std::lock_guard guard(lock_);
    counters_.*counter += length;
}

void FlowRelay::finish(platform::Error error) {
    Counters final;
    {
        std::lock_guard guard(lock_);
        if (finished_) return;
        finished_ = true;
        final = counters_;
    }
    flow_->closeRead(error);
    flow_->closeWrite(error);
    auto upstream = upstream_;
    asio::post(upstream->socket.get_executor(), [upstream] {
        std::error_code ignored;
        upstream->socket.close(ignored);
    });
    onClose_(final.bytesSent, final.bytesReceived, isOrderlyShutdown(error) ? platform::Error{} : error);
}

FlowRelay::Counters FlowRelay::counters() const {
    std::lock_guard guard(lock_);
    return counters_;
}

bool FlowRelay::isOrderlyShutdown(const platform::Error& error) {
    if (!error || error == asio::error::eof) return true;
    return platform::isPosixError(error, ENOTCONN) || platform::isPosixError(error, ECANCELED) ||
           platform::isPosixError(error, EPIPE);
}

}  // namespace corvane::tunnel
