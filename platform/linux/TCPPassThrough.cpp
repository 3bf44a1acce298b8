#include "TCPPassThrough.hpp"

#include "SocketOptions.hpp"
#include "platform/SplicePump.hpp"

#include <cstring>
#include <memory>

namespace corvane::platform {

namespace {

asio::ip::tcp::endpoint endpointOf(const SocketAddress& address) {
    asio::ip::tcp::endpoint endpoint;
    std::memcpy(endpoint.data(), address.raw(), address.length());
    endpoint.resize(address.length());
    return endpoint;
}

// Both connections; the two pumps keep it alive while they run.
class Splice : public std::enable_shared_from_this<Splice> {
public:
    explicit Splice(asio::ip::tcp::socket app) : app_(std::move(app)), upstream_(app_.get_executor()) {}

    void connect(const SocketAddress& destination, std::uint32_t mark) {
        const auto endpoint = endpointOf(destination);
        asio::error_code error;
        upstream_.open(endpoint.protocol(), error);
        if (!error) error = sockopt::setMark(upstream_.native_handle(), mark);
        if (!error) upstream_.set_option(asio::ip::tcp::no_delay(true), error);
        if (error) return abort();
        upstream_.async_connect(endpoint, [self = shared_from_this()](asio::error_code e) {
            if (e) return self->abort();
            self->pump(self->app_, self->upstream_);
            self->pump(self->upstream_, self->app_);
        });
    }

private:
    // One direction: at its end the other side is told with a FIN.
    void pump(asio::ip::tcp::socket& from, asio::ip::tcp::socket& to) {
        SplicePump::start(from, to, shared_from_this(), nullptr, [self = shared_from_this(), &to](Error error) {
            if (error) return self->abort();
            Error ignored;
            to.shutdown(asio::socket_base::shutdown_send, ignored);
        });
    }

    // One side failed, so the other must not see an orderly end: reset both.
    void abort() {
        for (auto* socket : {&app_, &upstream_}) {
            if (!socket->is_open()) continue;
            sockopt::setResetOnClose(socket->native_handle());
            asio::error_code ignored;
            socket->close(ignored);
        }
    }

    asio::ip::tcp::socket app_;
    asio::ip::tcp::socket upstream_;
};

}  // namespace

void TCPPassThrough::start(asio::ip::tcp::socket app, const SocketAddress& destination, std::uint32_t bypassMark) {
    std::make_shared<Splice>(std::move(app))->connect(destination, bypassMark);
}

}  // namespace corvane::platform
