#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

namespace corvane::tunnel::testing {

// A UDP server on its own thread that answers every datagram with the configured
// replies (by default an echo); `reply` entries of "" answer with an empty datagram.
class UDPPeer {
public:
    explicit UDPPeer(std::vector<std::string> replies = {},
                     asio::ip::address address = asio::ip::address_v4::loopback(), std::uint16_t port = 0)
        : socket_(context_, {address, port}), replies_(std::move(replies)) {
        receive();
        thread_ = std::thread([this] { context_.run(); });
    }
    ~UDPPeer() {
        context_.stop();
        thread_.join();
    }

    std::uint16_t port() const { return socket_.local_endpoint().port(); }
    std::size_t received() const {
        std::lock_guard guard(lock_);
        return received_;
    }

private:
    void receive() {
        socket_.async_receive_from(asio::buffer(buffer_), sender_, [this](std::error_code error, std::size_t length) {
            if (error) return;
            {
                std::lock_guard guard(lock_);
                ++received_;
            }
            if (replies_.empty()) {
                socket_.send_to(asio::buffer(buffer_.data(), length), sender_, 0, error);
            }
            for (const std::string& reply : replies_) socket_.send_to(asio::buffer(reply), sender_, 0, error);
            receive();
        });
    }

    asio::io_context context_;
    asio::ip::udp::socket socket_;
    std::vector<std::string> replies_;
    std::array<char, 65536> buffer_{};
    asio::ip::udp::endpoint sender_;
    std::thread thread_;
    mutable std::mutex lock_;
    std::size_t received_ = 0;
};

}  // namespace corvane::tunnel::testing
