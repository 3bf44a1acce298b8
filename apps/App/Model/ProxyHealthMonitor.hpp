#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QObject>

#include "CorvaneCore/Models/ProxyServer.hpp"
#include "PeriodicProxyChecks.hpp"
#include "ProxyProber.hpp"
#include "ProxyTestState.hpp"
#include "Scheduler.hpp"

namespace corvane::app {

// Whether each proxy answers, and how fast: a probe opens a TCP connection
// through the proxy to a stable public host on port 443 and measures the time
// until the proxy reports it established. One state per proxy and at most one
// probe per proxy: a newer probe, invalidate, stopProbes and the monitor's end
// each end the probe they replace at once (its connection closes, its outcome
// is dropped). Main thread only; nothing is logged.
class ProxyHealthMonitor : public QObject {
    Q_OBJECT

public:
    static constexpr std::string_view kDefaultProbeHost = "one.one.one.one";
    static constexpr std::uint16_t kDefaultProbePort = 443;

    ProxyHealthMonitor(ProxyProber& prober, Scheduler& scheduler,
                       std::string probeHost = std::string(kDefaultProbeHost),
                       std::uint16_t probePort = kDefaultProbePort, QObject* parent = nullptr);

    const std::map<UUID, ProxyTestState>& states() const { return states_; }

    void probe(const ProxyServer& server);
    void invalidate(const UUID& id);
    // Ends every running probe (the page that shows them is gone); their
    // proxies go back to not tested.
    void stopProbes();
    // Probes every proxy `list` returns now, then again after each `period`,
    // until the returned object is destroyed.
    std::unique_ptr<PeriodicProxyChecks> runPeriodicChecks(std::function<std::vector<ProxyServer>()> list,
                                                           std::chrono::milliseconds period);

signals:
    void statesChanged();

private:
    void finished(const UUID& id, const ProxyProber::Outcome& outcome);

    ProxyProber& prober_;
    Scheduler& scheduler_;
    std::string probeHost_;
    std::uint16_t probePort_;
    std::map<UUID, ProxyTestState> states_;
    // The running probe of each proxy.
    std::map<UUID, std::unique_ptr<ProxyProber::Probe>> tasks_;
};

}  // namespace corvane::app
