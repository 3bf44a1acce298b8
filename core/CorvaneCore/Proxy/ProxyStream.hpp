#pragma once

#include "CorvaneCore/Proxy/Deadline.hpp"
#include "CorvaneCore/Proxy/ProxyConnection.hpp"

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace corvane::detail {

using Bytes = std::vector<std::uint8_t>;

// The TCP connection of one attempt while its handshakes run, on one strand.
// The connect step and then all handshake bytes are each bounded by the
// connect time-out, and end at once when the calling coroutine is
// cancelled. Bytes read past a reply are kept and served first to the
// next read, so none of the tunnelled stream is lost.
class ProxyStream {
public:
    explicit ProxyStream(const asio::any_io_executor& strand);

    // Connects, then starts the handshake deadline.
    asio::awaitable<void> connect(std::string host, std::uint16_t port);

    asio::awaitable<void> send(Bytes bytes);
    // At least 1 and at most `maximum` bytes.
    asio::awaitable<Bytes> receive(std::size_t maximum);
    asio::awaitable<Bytes> receiveExactly(std::size_t count);
    // Puts bytes back before any unread ones.
    void unread(Bytes bytes);

    ProxyConnection finish();
    void close();

private:
    void check(const std::error_code& error);

    Deadline deadline_;
    asio::ip::tcp::socket socket_;
    Bytes pending_;
};

// A read or write failure: the stream's end or a cancellation is
// connectionClosed, anything else connectionFailed.
[[noreturn]] void throwStreamFailure(const std::error_code& error);

}  // namespace corvane::detail
