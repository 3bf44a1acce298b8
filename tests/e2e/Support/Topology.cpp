#include "Topology.hpp"

#include <unistd.h>

#include <fstream>

#include "Shell.hpp"

namespace corvane::e2e {

namespace fs = std::filesystem;

ProxyServer proxy(std::string name, ProxyProtocol kind, std::string host, std::uint16_t port) {
    ProxyServer server;
    server.id = UUID::random();
    server.name = std::move(name);
    server.kind = kind;
    server.host = std::move(host);
    server.port = port;
    return server;
}

Topology::Topology(Daemon withDaemon, DanteLog danteLog) {
    removeNamespaces();
    folder = fs::temp_directory_path() / ("cvt-e2e-" + std::to_string(::getpid()));
    fs::create_directories(folder / "runtime");
    fs::create_directories(folder / "state");
    fs::permissions(folder, fs::perms::all);
    // The probe lives under a world-writable folder: its identity is unverified.
    probeProgram = folder / "corvane-e2e-peer";
    fs::copy_file(CORVANE_E2E_PEER, probeProgram, fs::copy_options::overwrite_existing);
    const std::vector<std::string> commands = {
        std::string("ip netns add ") + kHost,
        std::string("ip netns add ") + kNet,
        std::string("ip link add cvt-h0 netns ") + kHost + " type veth peer name cvt-n0 netns " + kNet,
        std::string("ip -n ") + kHost + " link set lo up",
        std::string("ip -n ") + kHost + " link set cvt-h0 up",
        std::string("ip -n ") + kHost + " addr add 10.203.0.1/24 dev cvt-h0",
        std::string("ip -n ") + kHost + " addr add fd00:203::1/64 dev cvt-h0 nodad",
        std::string("ip -n ") + kHost + " route add default via 10.203.0.2",
        std::string("ip -n ") + kHost + " -6 route add default via fd00:203::2",
        std::string("ip -n ") + kNet + " link set lo up",
        std::string("ip -n ") + kNet + " link set cvt-n0 up",
        std::string("ip -n ") + kNet + " addr add 10.203.0.2/24 dev cvt-n0",
        std::string("ip -n ") + kNet + " addr add fd00:203::2/64 dev cvt-n0 nodad",
        std::string("ip -n ") + kNet + " addr add 198.18.0.10/32 dev lo",
        std::string("ip -n ") + kNet + " addr add 198.18.0.11/32 dev lo",
        std::string("ip -n ") + kNet + " addr add fd00:18::10/128 dev lo",
    };
    for (const std::string& command : commands) {
        if (shell(command) != 0) return;
    }
    writeConfigurations(danteLog);
    // dante resolves names it is asked for through the responder of the test network.
    fs::create_directories("/etc/netns/" + kNet);
    std::ofstream("/etc/netns/" + kNet + "/resolv.conf") << "nameserver 10.203.0.2\n";
    const std::string inNet = std::string("ip netns exec ") + kNet + " ";
    const std::string logs = " >>" + (folder / "services.log").string() + " 2>&1";
    services.push_back(std::make_unique<Process>(inNet + probeProgram.string() + " tcp-echo 7" + logs));
    services.push_back(std::make_unique<Process>(inNet + probeProgram.string() + " banner 2525" + logs));
    services.push_back(std::make_unique<Process>(inNet + probeProgram.string() + " udp-echo 198.18.0.10 7" + logs));
    services.push_back(std::make_unique<Process>(inNet + probeProgram.string() + " dns 10.203.0.2 53" + logs));
    services.push_back(std::make_unique<Process>(inNet + "danted -f " + (folder / "danted.conf").string() + logs));
    services.push_back(
        std::make_unique<Process>(inNet + "microsocks -i 10.203.0.2 -p 1081 -u alice -P s3cret" + logs));
    services.push_back(
        std::make_unique<Process>(inNet + "tinyproxy -d -c " + (folder / "tinyproxy.conf").string() + logs));
    for (int port : {1080, 1081, 8888}) {
        if (!waitFor([&] { return portOpen("10.203.0.2", port); })) return;
    }
    if (!waitFor([&] { return portOpen("198.18.0.10", 7); })) return;
    if (withDaemon == Daemon::none) {
        ready = true;
        return;
    }

    startDaemon();
    if (!waitFor([&] { return fs::exists(folder / "runtime" / "control.sock"); })) return;
    control = std::make_unique<Control>();
    ready = control->connect(folder / "runtime" / "control.sock");
}

Topology::~Topology() {
    control.reset();
    daemon.reset();
    services.clear();
    removeNamespaces();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

void Topology::startDaemon() {
    daemon = std::make_unique<Process>(std::string("ip netns exec ") + kHost + " env RUNTIME_DIRECTORY=" +
                                       (folder / "runtime").string() + " STATE_DIRECTORY=" +
                                       (folder / "state").string() + " " + CORVANE_TUNNEL_BINARY + " >>" +
                                       (folder / "daemon.log").string() + " 2>&1");
}

void Topology::removeNamespaces() {
    shell(std::string("ip netns del ") + kHost);
    shell(std::string("ip netns del ") + kNet);
    std::error_code ignored;
    fs::remove_all("/etc/netns/" + kNet, ignored);
}

std::string Topology::missingRequirement() {
    if (::geteuid() != 0) return "the end-to-end tests need root (network namespaces, nftables)";
    for (const char* program : {"ip", "nft", "danted", "microsocks", "tinyproxy"}) {
        if (!have(program)) return std::string("the end-to-end tests need ") + program;
    }
    return {};
}

void Topology::writeConfigurations(DanteLog danteLog) const {
    std::ofstream(folder / "danted.conf")
        << "logoutput: " << (folder / "danted.log").string() << "\n"
        << "internal: 10.203.0.2 port = 1080\nexternal: 10.203.0.2\n"
        << "clientmethod: none\nsocksmethod: none\nuser.privileged: root\nuser.unprivileged: nobody\n"
        << "client pass { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n"
        << "socks pass {\n  from: 0.0.0.0/0 to: 0.0.0.0/0\n  command: connect udpassociate udpreply\n"
        << (danteLog == DanteLog::connections ? "  log: connect\n" : "") << "}\n";
    writeTinyproxyConfiguration("tinyproxy", 8888);
}

fs::path Topology::writeTinyproxyConfiguration(const std::string& name, int port) const {
    const fs::path path = folder / (name + ".conf");
    std::ofstream(path) << "User nobody\nGroup nogroup\nListen 10.203.0.2\nPort " << port << "\nTimeout 60\n"
                        << "LogFile \"" << (folder / (name + ".log")).string() << "\"\nLogLevel Connect\n"
                        << "PidFile \"" << (folder / (name + ".pid")).string() << "\"\nMaxClients 20\n"
                        << "Allow 10.203.0.0/24\nDisableViaHeader Yes\n";
    return path;
}

nlohmann::json Topology::probe(const std::string& mode, const std::string& host, int port, int amount,
                               int holdMilliseconds) const {
    std::string command = std::string("ip netns exec ") + kHost + " " + probeProgram.string() + " " + mode + " " +
                          host + " " + std::to_string(port) + " " + std::to_string(amount);
    if (holdMilliseconds > 0) command += " " + std::to_string(holdMilliseconds);
    const std::string out = capture(command);
    try {
        return nlohmann::json::parse(out);
    } catch (const std::exception&) {
        return nlohmann::json::object();
    }
}

}  // namespace corvane::e2e
