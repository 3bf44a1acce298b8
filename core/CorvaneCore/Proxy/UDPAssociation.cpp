#include "CorvaneCore/Proxy/UDPAssociation.hpp"

#include "CorvaneCore/Proxy/ProxyClientError.hpp"
#include "CorvaneCore/Proxy/ProxyStream.hpp"
#include "CorvaneCore/Proxy/RunOnStrand.hpp"

#include <array>

#include <asio/buffer.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

namespace corvane {
namespace {

// Room for the largest datagram, so none is cut short without notice.
constexpr std::size_t receiveBufferSize = 65536;

}  // namespace

UDPAssociation::UDPAssociation(asio::ip::tcp::socket control, asio::ip::udp::socket relay)
    : strand_(relay.get_executor()), control_(std::move(control)), relay_(std::move(relay)) {}

asio::awaitable<void> UDPAssociation::send(std::vector<std::uint8_t> payload, std::string host, std::uint16_t port) {
    std::vector<std::uint8_t> datagram = SOCKS5::encapsulateUDP(payload, host, port);
    auto work = [](std::shared_ptr<UDPAssociation> self, std::vector<std::uint8_t> bytes) -> asio::awaitable<void> {
        std::error_code error;
        co_await self->relay_.async_send(asio::buffer(bytes), asio::redirect_error(asio::use_awaitable, error));
        if (error) detail::throwStreamFailure(error);
    };
    co_await detail::runOnStrand(strand_, work(shared_from_this(), std::move(datagram)));
}

asio::awaitable<SOCKS5::UDPDatagram> UDPAssociation::receive() {
    auto work = [](std::shared_ptr<UDPAssociation> self) -> asio::awaitable<std::vector<std::uint8_t>> {
        std::vector<std::uint8_t> bytes(receiveBufferSize);
        std::error_code error;
        const std::size_t count = co_await self->relay_.async_receive(
            asio::buffer(bytes), asio::redirect_error(asio::use_awaitable, error));
        if (error) detail::throwStreamFailure(error);
        if (count == 0) throw ProxyClientError::connectionClosed();
        bytes.resize(count);
        co_return bytes;
    };
    const auto datagram = co_await detail::runOnStrand(strand_, work(shared_from_this()));
    co_return SOCKS5::decapsulateUDP(datagram);
}

asio::awaitable<void> UDPAssociation::waitForControlClose() {
    auto work = [](std::shared_ptr<UDPAssociation> self) -> asio::awaitable<void> {
        // Nothing more is due on the control connection; any bytes are ignored.
        std::array<std::uint8_t, 1> byte{};
        std::error_code error;
        while (!error) {
            co_await self->control_.async_read_some(asio::buffer(byte), asio::redirect_error(asio::use_awaitable, error));
        }
    };
    co_await detail::runOnStrand(strand_, work(shared_from_this()));
}

void UDPAssociation::cancel() {
    asio::post(strand_, [self = shared_from_this()] {
        std::error_code ignored;
        self->relay_.close(ignored);
        self->control_.close(ignored);
    });
}

}  // namespace corvane
