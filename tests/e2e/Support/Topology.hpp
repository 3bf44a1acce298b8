#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Control.hpp"
#include "CorvaneCore/Models/ProxyServer.hpp"
#include "Process.hpp"

namespace corvane::e2e {

ProxyServer proxy(std::string name, ProxyProtocol kind, std::string host, std::uint16_t port);

// The two namespaces, their services and the daemon. `cvt-host` (10.203.0.1) runs
// the daemon with its runtime and state folders in `folder` and the probes;
// `cvt-net` (10.203.0.2) is the "internet": echo, banner, UDP echo and DNS
// servers of the peer program on 198.18.0.10, dante on :1080, microsocks with
// alice/s3cret on :1081, tinyproxy on :8888, nothing on :1999.
struct Topology {
    std::filesystem::path folder;
    std::filesystem::path probeProgram;
    std::vector<std::unique_ptr<Process>> services;
    std::unique_ptr<Process> daemon;
    std::unique_ptr<Control> control;
    ProxyServer dante = proxy("dante", ProxyProtocol::socks5, "10.203.0.2", 1080);
    ProxyServer microsocks = proxy("microsocks", ProxyProtocol::socks5, "10.203.0.2", 1081);
    ProxyServer tinyproxy = proxy("tinyproxy", ProxyProtocol::httpConnect, "10.203.0.2", 8888);
    ProxyServer dead = proxy("dead", ProxyProtocol::socks5, "10.203.0.2", 1999);
    bool ready = false;

    // Whether the daemon starts with the services; without it `control` stays
    // empty and `ready` means the services answer.
    enum class Daemon { started, none };
    // Whether dante.log also gets a line per connection (it slows dante down).
    enum class DanteLog { errors, connections };

    explicit Topology(Daemon daemon = Daemon::started, DanteLog danteLog = DanteLog::errors);
    ~Topology();
    Topology(const Topology&) = delete;
    Topology& operator=(const Topology&) = delete;

    std::filesystem::path socketPath() const { return folder / "runtime" / "control.sock"; }

    // Runs the peer program in the host namespace; its JSON report (empty when
    // it printed none). `holdMilliseconds`: how long a TCP probe waits before
    // it half-closes.
    nlohmann::json probe(const std::string& mode, const std::string& host, int port, int amount,
                         int holdMilliseconds = 0) const;

    // (Re)starts the daemon in the host namespace, its output added to daemon.log.
    void startDaemon();
    // FOLDER/NAME.conf for a tinyproxy on 10.203.0.2:PORT, logging to NAME.log.
    std::filesystem::path writeTinyproxyConfiguration(const std::string& name, int port) const;

    static void removeNamespaces();
    // Why the topology cannot be built here (not root, a program missing); empty when it can.
    static std::string missingRequirement();

private:
    void writeConfigurations(DanteLog danteLog) const;
};

}  // namespace corvane::e2e
