#include "TCPPassThrough.hpp"

#include "SocketOptions.hpp"

#include <asio/bind_executor.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <asio/write.hpp>

#include <array>
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

// Both connections and one buffer per direction; every handler runs on the strand.
class Splice : public std::enable_shared_from_this<Splice> {
public:
    Splice(asio::ip::tcp::socket app, asio::strand<asio::any_io_executor> strand)
        : strand_(strand), app_(std::move(app)), upstream_(strand) {}

    void connect(const SocketAddress& destination, std::uint32_t mark) {
        const auto endpoint = endpointOf(destination);
        asio::error_code error;
        upstream_.open(endpoint.protocol(), error);
        if (!error) error = sockopt::setMark(upstream_.native_handle(), mark);
        if (error) return abort();
        upstream_.async_connect(endpoint, asio::bind_executor(strand_, [self = shared_from_this()](asio::error_code e) {
                                    if (e) return self->abort();
                                    self->copy(self->app_, self->upstream_, self->toUpstream_);
                                    self->copy(self->upstream_, self->app_, self->toApp_);
                                }));
    }

private:
    using Buffer = std::array<std::uint8_t, TCPPassThrough::kBufferSize>;

    void copy(asio::ip::tcp::socket& from, asio::ip::tcp::socket& to, Buffer& buffer) {
        from.async_read_some(
            asio::buffer(buffer),
            asio::bind_executor(strand_, [self = shared_from_this(), &from, &to, &buffer](asio::error_code error,
                                                                                         std::size_t size) {
                if (error == asio::error::eof) {
                    asio::error_code ignored;
                    to.shutdown(asio::socket_base::shutdown_send, ignored);
                    return;
                }
                if (error) return self->abort();
                asio::async_write(to, asio::buffer(buffer.data(), size),
                                  asio::bind_executor(self->strand_, [self, &from, &to, &buffer](asio::error_code e,
                                                                                                 std::size_t) {
                                      if (e) return self->abort();
                                      self->copy(from, to, buffer);
                                  }));
            }));
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

    asio::strand<asio::any_io_executor> strand_;
    asio::ip::tcp::socket app_;
    asio::ip::tcp::socket upstream_;
    Buffer toUpstream_{};
    Buffer toApp_{};
};

}  // namespace

void TCPPassThrough::start(asio::ip::tcp::socket app, const SocketAddress& destination, std::uint32_t bypassMark) {
    auto strand = asio::make_strand(app.get_executor());
    auto splice = std::make_shared<Splice>(std::move(app), strand);
    asio::post(strand, [splice, destination, bypassMark] { splice->connect(destination, bypassMark); });
}

}  // namespace corvane::platform
