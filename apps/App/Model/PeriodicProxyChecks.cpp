#include "PeriodicProxyChecks.hpp"

#include "ProxyHealthMonitor.hpp"

namespace corvane::app {

PeriodicProxyChecks::PeriodicProxyChecks(ProxyHealthMonitor& monitor, Scheduler& scheduler,
                                         std::function<std::vector<ProxyServer>()> list,
                                         std::chrono::milliseconds period)
    : monitor_(monitor), scheduler_(scheduler), list_(std::move(list)), period_(period) {
    pass();
}

void PeriodicProxyChecks::pass() {
    for (const ProxyServer& server : list_()) monitor_.probe(server);
    wake_ = scheduler_.schedule(period_, [this] { pass(); });
}

}  // namespace corvane::app
