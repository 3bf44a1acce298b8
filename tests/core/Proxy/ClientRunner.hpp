#pragma once

#include "CorvaneCore/Models/ProxyServer.hpp"
#include "CorvaneCore/Proxy/ProxyClient.hpp"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace corvane::testing {

// Runs client operations to their end on a private io_context, so that a
// test reads like straight-line code. The context outlives the sockets the
// operations return.
class ClientRunner {
public:
    template <typename Make>
    auto run(Make make) {
        using Result = typename decltype(make(context.get_executor()))::value_type;
        if constexpr (std::is_void_v<Result>) {
            runToEnd([&]() -> asio::awaitable<void> { co_await make(context.get_executor()); });
        } else {
            std::optional<Result> result;
            runToEnd([&]() -> asio::awaitable<void> { result.emplace(co_await make(context.get_executor())); });
            return std::move(*result);
        }
    }

    // Runs whatever was posted (such as a cancel) to its end.
    void drain() {
        context.restart();
        context.run();
    }

    double lastSeconds() const { return std::chrono::duration<double>(lastDuration).count(); }

    asio::io_context context;
    std::chrono::steady_clock::duration lastDuration{};

private:
    template <typename Body>
    void runToEnd(Body body) {
        std::exception_ptr error;
        asio::co_spawn(
            context,
            [&]() -> asio::awaitable<void> {
                try {
                    co_await body();
                } catch (...) {
                    error = std::current_exception();
                }
            },
            asio::detached);
        const auto start = std::chrono::steady_clock::now();
        context.restart();
        context.run();
        lastDuration = std::chrono::steady_clock::now() - start;
        if (error) std::rethrow_exception(error);
    }
};

inline ProxyServer makeProxy(ProxyProtocol kind, std::uint16_t port,
                             std::optional<ProxyCredentials> credentials = std::nullopt,
                             std::string host = "127.0.0.1") {
    ProxyServer proxy;
    proxy.id = UUID::random();
    proxy.name = std::string(toString(kind)) + " " + std::to_string(port);
    proxy.kind = kind;
    proxy.host = std::move(host);
    proxy.port = port;
    proxy.credentials = std::move(credentials);
    return proxy;
}

inline ProxyServer socksProxy(std::uint16_t port, std::optional<ProxyCredentials> credentials = std::nullopt) {
    return makeProxy(ProxyProtocol::socks5, port, std::move(credentials));
}

inline ProxyServer httpProxy(std::uint16_t port, std::optional<ProxyCredentials> credentials = std::nullopt) {
    return makeProxy(ProxyProtocol::httpConnect, port, std::move(credentials));
}

}  // namespace corvane::testing
