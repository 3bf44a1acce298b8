#include "TCPPassThrough.hpp"

#include "SocketOptions.hpp"

#include <asio/co_spawn.hpp>
#include <asio/strand.hpp>
#include <asio/this_coro.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include <array>
#include <cstring>
#include <memory>

namespace corvane::platform {

namespace {

constexpr auto kNoThrow = asio::experimental::as_tuple(asio::use_awaitable);

struct Splice {
    asio::ip::tcp::socket app;
    asio::ip::tcp::socket upstream;
    bool failed = false;

    Splice(asio::ip::tcp::socket a, asio::any_io_executor executor) : app(std::move(a)), upstream(executor) {}

    // Closes both with a reset: one side failed, so the other must not see an orderly end.
    void abort() {
        failed = true;
        for (auto* socket : {&app, &upstream}) {
            if (!socket->is_open()) continue;
            sockopt::setResetOnClose(socket->native_handle());
            asio::error_code ignored;
            socket->close(ignored);
        }
    }
};

asio::awaitable<void> copy(std::shared_ptr<Splice> splice, asio::ip::tcp::socket& from, asio::ip::tcp::socket& to) {
    std::array<std::uint8_t, TCPPassThrough::kBufferSize> buffer;
    while (true) {
        auto [readError, size] = co_await from.async_read_some(asio::buffer(buffer), kNoThrow);
        if (readError == asio::error::eof) {
            asio::error_code ignored;
            to.shutdown(asio::socket_base::shutdown_send, ignored);
            co_return;
        }
        if (readError) {
            if (!splice->failed) splice->abort();
            co_return;
        }
        auto [writeError, written] = co_await asio::async_write(to, asio::buffer(buffer.data(), size), kNoThrow);
        if (writeError) {
            if (!splice->failed) splice->abort();
            co_return;
        }
    }
}

asio::ip::tcp::endpoint endpointOf(const SocketAddress& address) {
    asio::ip::tcp::endpoint endpoint;
    std::memcpy(endpoint.data(), address.raw(), address.length());
    endpoint.resize(address.length());
    return endpoint;
}

asio::awaitable<void> run(std::shared_ptr<Splice> splice, SocketAddress destination, std::uint32_t mark) {
    const auto endpoint = endpointOf(destination);
    asio::error_code error;
    splice->upstream.open(endpoint.protocol(), error);
    if (!error) error = sockopt::setMark(splice->upstream.native_handle(), mark);
    if (!error) std::tie(error) = co_await splice->upstream.async_connect(endpoint, kNoThrow);
    if (error) {
        splice->abort();
        co_return;
    }
    auto executor = co_await asio::this_coro::executor;
    asio::co_spawn(executor, copy(splice, splice->app, splice->upstream), asio::detached);
    asio::co_spawn(executor, copy(splice, splice->upstream, splice->app), asio::detached);
}

}  // namespace

void TCPPassThrough::start(asio::ip::tcp::socket app, const SocketAddress& destination, std::uint32_t bypassMark) {
    auto executor = asio::make_strand(app.get_executor());
    auto splice = std::make_shared<Splice>(std::move(app), executor);
    asio::co_spawn(executor, run(splice, destination, bypassMark), asio::detached);
}

}  // namespace corvane::platform
