#pragma once

#include <chrono>
#include <functional>

#include <asio/any_io_executor.hpp>

#include "ProxyProber.hpp"

namespace corvane::app {

// Probes with the core's proxy client on the worker's executor, bounded by the
// client's connect time-out for the connect step and for the handshake; a probe
// given up is cancelled on the worker, which closes its socket at once. Time is
// taken from a monotonic clock, so a change of the wall clock cannot distort it.
class AsioProxyProber : public ProxyProber {
public:
    using MonotonicClock = std::function<std::chrono::steady_clock::time_point()>;

    explicit AsioProxyProber(asio::any_io_executor executor, MonotonicClock now = std::chrono::steady_clock::now);

    std::unique_ptr<Probe> probe(const ProxyServer& proxy, const std::string& host, std::uint16_t port,
                                 QObject* context, std::function<void(Outcome)> done) override;

private:
    asio::any_io_executor executor_;
    MonotonicClock now_;
};

}  // namespace corvane::app
