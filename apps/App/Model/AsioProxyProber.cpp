#include "AsioProxyProber.hpp"

#include <exception>
#include <memory>

#include <asio/bind_cancellation_slot.hpp>
#include <asio/co_spawn.hpp>

#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "MainThread.hpp"
#include "WorkerCancellation.hpp"

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

// A probe given up cancels its coroutine on the worker; an outcome still on
// its way to the main thread is dropped there.
class AsioProbe final : public ProxyProber::Probe {
public:
    explicit AsioProbe(asio::any_io_executor worker) : cancellation(std::move(worker)) {}
    ~AsioProbe() override {
        *live = false;
        cancellation.cancel();
    }

    const WorkerCancellation cancellation;
    // Whether the outcome still counts; read and written on the main thread only.
    const std::shared_ptr<bool> live = std::make_shared<bool>(true);
};

}  // namespace

AsioProxyProber::AsioProxyProber(asio::any_io_executor executor, MonotonicClock now)
    : executor_(std::move(executor)), now_(std::move(now)) {}

std::unique_ptr<ProxyProber::Probe> AsioProxyProber::probe(const ProxyServer& proxy, const std::string& host,
                                                           std::uint16_t port, QObject* context,
                                                           std::function<void(Outcome)> done) {
    auto probe = std::make_unique<AsioProbe>(executor_);
    auto deliver = MainThread::bind<Outcome>(context, [live = probe->live, done = std::move(done)](Outcome outcome) {
        if (*live) done(std::move(outcome));
    });
    auto finished = [deliver, keepAlive = probe->cancellation.keepAlive()](std::exception_ptr failure,
                                                                          Outcome outcome) {
        deliver(failure ? Outcome{Failed{describe(failure)}} : std::move(outcome));
    };
    asio::co_spawn(executor_, run(proxy, host, port, executor_, now_),
                   asio::bind_cancellation_slot(probe->cancellation.slot(), std::move(finished)));
    return probe;
}

}  // namespace corvane::app
