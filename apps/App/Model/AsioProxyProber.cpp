#include "AsioProxyProber.hpp"

#include <exception>

#include <asio/co_spawn.hpp>

#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "MainThread.hpp"

namespace corvane::app {

namespace {

asio::awaitable<ProxyProber::Outcome> run(ProxyServer proxy, std::string host, std::uint16_t port,
                                          asio::any_io_executor executor, AsioProxyProber::MonotonicClock now) {
    const auto start = now();
    ProxyConnection connection = co_await ProxyClient::establishTCP(std::move(host), port, std::move(proxy), executor);
    const auto elapsed = now() - start;
    std::error_code ignored;
    connection.socket.close(ignored);
    co_return ProxyProber::Established{std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed)};
}

std::string describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "The probe failed.";
    }
}

}  // namespace

AsioProxyProber::AsioProxyProber(asio::any_io_executor executor, MonotonicClock now)
    : executor_(std::move(executor)), now_(std::move(now)) {}

void AsioProxyProber::probe(const ProxyServer& proxy, const std::string& host, std::uint16_t port, QObject* context,
                            std::function<void(Outcome)> done) {
    auto deliver = MainThread::bind<Outcome>(context, std::move(done));
    asio::co_spawn(executor_, run(proxy, host, port, executor_, now_),
                   [deliver](std::exception_ptr failure, Outcome outcome) {
                       deliver(failure ? Outcome{Failed{describe(failure)}} : std::move(outcome));
                   });
}

}  // namespace corvane::app
