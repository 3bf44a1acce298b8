#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "CorvaneCore/Models/ProxyServer.hpp"
#include "Scheduler.hpp"

namespace corvane::app {

class ProxyHealthMonitor;

// The periodic proxy checks of the Proxies page: every proxy of the list (read
// anew on each pass) is probed at once, then again after each period. Destroying
// the object ends them.
class PeriodicProxyChecks {
public:
    PeriodicProxyChecks(ProxyHealthMonitor& monitor, Scheduler& scheduler,
                        std::function<std::vector<ProxyServer>()> list, std::chrono::milliseconds period);
    PeriodicProxyChecks(const PeriodicProxyChecks&) = delete;
    PeriodicProxyChecks& operator=(const PeriodicProxyChecks&) = delete;

private:
    void pass();

    ProxyHealthMonitor& monitor_;
    Scheduler& scheduler_;
    std::function<std::vector<ProxyServer>()> list_;
    std::chrono::milliseconds period_;
    std::unique_ptr<ScheduledCall> wake_;
};

}  // namespace corvane::app
