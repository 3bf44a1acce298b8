#pragma once

#include "CorvaneCore/Proxy/Deadline.hpp"
#include "CorvaneCore/Proxy/HostResolver.hpp"
#include "CorvaneCore/Proxy/ProxyClientError.hpp"

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/bind_cancellation_slot.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

#include <cstdint>
#include <string>
#include <system_error>
#include <type_traits>

namespace corvane::detail {

// The address of an IP literal at once; a name through the lookup pool.
// Bounded by the deadline (armed by the caller).
asio::awaitable<AddressList> addressesOf(std::string host, Deadline& deadline);

// Sets the configured socket mark (ProxyClient::socketMark) on a socket
// before it connects; nothing when the mark is 0.
std::error_code applySocketMark(int nativeHandle);

// What a failed connect means to the caller.
ProxyClientError connectFailure(const std::error_code& error);

// After an operation bounded by `deadline`: throws timedOut when it expired,
// connectionClosed when the caller gave the connection up.
void checkDeadline(const Deadline& deadline);

// The connect step of one socket: resolve, open, mark, connect, trying each
// address in turn, all within one connect time-out. Throws ProxyClientError;
// the caller closes the socket on failure.
template <typename Socket>
asio::awaitable<void> connectStep(Socket& socket, std::string host, std::uint16_t port, Deadline& deadline) {
    deadline.arm();
    const AddressList addresses = co_await addressesOf(std::move(host), deadline);
    std::error_code error;
    for (const auto& address : addresses) {
        const typename Socket::endpoint_type endpoint(address, port);
        std::error_code ignored;
        socket.close(ignored);
        socket.open(endpoint.protocol(), error);
        if (!error) error = applySocketMark(socket.native_handle());
        if (error) {
            deadline.disarm();
            throw ProxyClientError::connectionFailed(error);
        }
        const asio::cancellation_slot slot = co_await deadline.operationSlot();
        co_await socket.async_connect(
            endpoint, asio::bind_cancellation_slot(slot, asio::redirect_error(asio::use_awaitable, error)));
        deadline.operationDone();
        checkDeadline(deadline);
        if (!error) break;
    }
    deadline.disarm();
    if (error) throw connectFailure(error);
    // A relay passes on what it gets at once; Nagle would hold back the next
    // small write (a handshake after an HTTP hop, a short reply) for an ACK.
    if constexpr (std::is_same_v<typename Socket::protocol_type, asio::ip::tcp>)
        socket.set_option(asio::ip::tcp::no_delay(true), error);
}

}  // namespace corvane::detail
