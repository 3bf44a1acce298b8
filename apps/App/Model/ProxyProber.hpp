#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include <QObject>

#include "CorvaneCore/Models/ProxyServer.hpp"

namespace corvane::app {

// Opens a TCP connection through one proxy to a target and measures how long the
// proxy took to establish it; the connection is closed at once.
class ProxyProber {
public:
    // A probe in progress. Destroying it ends the probe at once: its connection
    // closes (the proxy sees it go), and its outcome is never delivered.
    class Probe {
    public:
        virtual ~Probe() = default;
    };
    struct Established {
        std::chrono::nanoseconds elapsed;
    };
    struct Failed {
        std::string description;
    };
    using Outcome = std::variant<Established, Failed>;

    virtual ~ProxyProber() = default;
    // `done` runs on the main thread, queued, unless `context` or the returned
    // probe is gone by then.
    [[nodiscard]] virtual std::unique_ptr<Probe> probe(const ProxyServer& proxy, const std::string& host,
                                                       std::uint16_t port, QObject* context,
                                                       std::function<void(Outcome)> done) = 0;
};

}  // namespace corvane::app
