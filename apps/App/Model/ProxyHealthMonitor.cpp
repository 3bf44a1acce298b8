#include "ProxyHealthMonitor.hpp"

namespace corvane::app {

namespace {

// Whole milliseconds, cut (not rounded), from an integral duration.
std::int64_t wholeMilliseconds(std::chrono::nanoseconds elapsed) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

}  // namespace

ProxyHealthMonitor::ProxyHealthMonitor(ProxyProber& prober, Scheduler& scheduler, std::string probeHost,
                                       std::uint16_t probePort, QObject* parent)
    : QObject(parent),
      prober_(prober),
      scheduler_(scheduler),
      probeHost_(std::move(probeHost)),
      probePort_(probePort) {}

void ProxyHealthMonitor::probe(const ProxyServer& server) {
    tasks_.erase(server.id);
    states_[server.id] = ProxyTestState::testing();
    emit statesChanged();
    tasks_[server.id] = prober_.probe(server, probeHost_, probePort_, this,
                                      [this, id = server.id](ProxyProber::Outcome outcome) { finished(id, outcome); });
}

void ProxyHealthMonitor::finished(const UUID& id, const ProxyProber::Outcome& outcome) {
    tasks_.erase(id);
    if (const auto* established = std::get_if<ProxyProber::Established>(&outcome)) {
        states_[id] = ProxyTestState::success(wholeMilliseconds(established->elapsed));
    } else {
        states_[id] = ProxyTestState::failure(std::get<ProxyProber::Failed>(outcome).description);
    }
    emit statesChanged();
}

void ProxyHealthMonitor::invalidate(const UUID& id) {
    tasks_.erase(id);
    if (states_.erase(id) > 0) emit statesChanged();
}

void ProxyHealthMonitor::stopProbes() {
    if (tasks_.empty()) return;
    for (const auto& [id, probe] : tasks_) states_.erase(id);
    tasks_.clear();
    emit statesChanged();
}

std::unique_ptr<PeriodicProxyChecks> ProxyHealthMonitor::runPeriodicChecks(
    std::function<std::vector<ProxyServer>()> list, std::chrono::milliseconds period) {
    return std::make_unique<PeriodicProxyChecks>(*this, scheduler_, std::move(list), period);
}

}  // namespace corvane::app
