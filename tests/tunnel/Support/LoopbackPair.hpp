#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/strand.hpp>

namespace corvane::tunnel::testing {

// A connected loopback TCP pair: `near` on a strand of the context (the relay's
// upstream), `far` plays the proxy and is driven with blocking calls.
struct LoopbackPair {
    asio::ip::tcp::socket near;
    asio::ip::tcp::socket far;

    static LoopbackPair make(asio::io_context& context) {
        asio::ip::tcp::acceptor acceptor(context, {asio::ip::address_v4::loopback(), 0});
        asio::ip::tcp::socket near(asio::make_strand(context));
        near.connect(acceptor.local_endpoint());
        asio::ip::tcp::socket far(context);
        acceptor.accept(far);
        return {std::move(near), std::move(far)};
    }
};

// Runs the context until `done` holds or the time is up; returns `done()`.
inline bool runUntil(asio::io_context& context, const std::function<bool()>& done,
                     std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        context.restart();
        // With no work left run_for returns at once: wait a little instead of spinning.
        if (context.run_for(std::chrono::milliseconds(5)) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

}  // namespace corvane::tunnel::testing
