#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Model/ProxyProber.hpp"

namespace corvane::app::testing {

// A prober whose probes end when the test ends them, with the outcome it picks.
class FakeProxyProber : public ProxyProber {
public:
    struct Probe {
        ProxyServer proxy;
        std::string host;
        std::uint16_t port = 0;
        std::function<void(Outcome)> finish;
    };

    std::vector<Probe> probes;

    void probe(const ProxyServer& proxy, const std::string& host, std::uint16_t port, QObject* context,
               std::function<void(Outcome)> done) override;
};

}  // namespace corvane::app::testing
