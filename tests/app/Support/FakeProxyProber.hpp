#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Model/ProxyProber.hpp"

namespace corvane::app::testing {

// A prober whose probes end when the test ends them, with the outcome it picks;
// a probe its caller gave up delivers nothing and shows as cancelled.
class FakeProxyProber : public ProxyProber {
public:
    struct Probe {
        ProxyServer proxy;
        std::string host;
        std::uint16_t port = 0;
        std::shared_ptr<bool> givenUp = std::make_shared<bool>(false);
        // Queues the outcome; it arrives unless the probe is given up by then.
        std::function<void(Outcome)> finish;

        bool cancelled() const { return *givenUp; }
    };

    std::vector<Probe> probes;

    std::unique_ptr<ProxyProber::Probe> probe(const ProxyServer& proxy, const std::string& host, std::uint16_t port,
                                              QObject* context, std::function<void(Outcome)> done) override;
};

}  // namespace corvane::app::testing
