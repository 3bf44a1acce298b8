#include "CorvaneCore/Proxy/ProxyStream.hpp"

#include "CorvaneCore/Proxy/ConnectStep.hpp"
#include "CorvaneCore/Proxy/ProxyClientError.hpp"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/buffer.hpp>
#include <asio/read.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include <algorithm>

namespace corvane::detail {

void throwStreamFailure(const std::error_code& error) {
    if (error == asio::error::eof || error == asio::error::operation_aborted) {
        throw ProxyClientError::connectionClosed();
    }
    throw ProxyClientError::connectionFailed(error);
}

ProxyStream::ProxyStream(const asio::any_io_executor& strand) : deadline_(strand), socket_(strand) {}

asio::awaitable<void> ProxyStream::connect(std::string host, std::uint16_t port) {
    co_await connectStep(socket_, std::move(host), port, deadline_);
    deadline_.arm();
}

void ProxyStream::check(const std::error_code& error) {
    deadline_.operationDone();
    checkDeadline(deadline_);
    if (error) throwStreamFailure(error);
}

asio::awaitable<void> ProxyStream::send(Bytes bytes) {
    std::error_code error;
    const asio::cancellation_slot slot = co_await deadline_.operationSlot();
    co_await asio::async_write(socket_, asio::buffer(bytes),
                               asio::bind_cancellation_slot(slot, asio::redirect_error(asio::use_awaitable, error)));
    check(error);
}

asio::awaitable<Bytes> ProxyStream::receive(std::size_t maximum) {
    if (!pending_.empty()) {
        const std::size_t count = std::min(maximum, pending_.size());
        Bytes taken(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
        co_return taken;
    }
    Bytes bytes(maximum);
    std::error_code error;
    const asio::cancellation_slot slot = co_await deadline_.operationSlot();
    const std::size_t count = co_await socket_.async_read_some(
        asio::buffer(bytes), asio::bind_cancellation_slot(slot, asio::redirect_error(asio::use_awaitable, error)));
    check(error);
    if (count == 0) throw ProxyClientError::connectionClosed();
    bytes.resize(count);
    co_return bytes;
}

asio::awaitable<Bytes> ProxyStream::receiveExactly(std::size_t count) {
    Bytes bytes;
    if (count < 1) co_return bytes;
    const std::size_t fromPending = std::min(count, pending_.size());
    bytes.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(fromPending));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(fromPending));
    if (fromPending == count) co_return bytes;
    bytes.resize(count);
    std::error_code error;
    const asio::cancellation_slot slot = co_await deadline_.operationSlot();
    co_await asio::async_read(socket_, asio::buffer(bytes.data() + fromPending, count - fromPending),
                              asio::bind_cancellation_slot(slot, asio::redirect_error(asio::use_awaitable, error)));
    check(error);
    co_return bytes;
}

void ProxyStream::unread(Bytes bytes) { pending_.insert(pending_.begin(), bytes.begin(), bytes.end()); }

ProxyConnection ProxyStream::finish() {
    deadline_.disarm();
    return ProxyConnection{std::move(socket_), std::move(pending_)};
}

void ProxyStream::close() {
    deadline_.disarm();
    std::error_code ignored;
    socket_.close(ignored);
}

}  // namespace corvane::detail
