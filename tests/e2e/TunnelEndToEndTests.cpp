// The real daemon in a network namespace of its own, diverting a probe's traffic to
// servers and proxies (dante, microsocks, tinyproxy) in a second namespace.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "Shared/ProviderRequest.hpp"
#include "platform/host/ControlClient.hpp"

extern char** environ;

namespace corvane {
namespace {

namespace fs = std::filesystem;
using platform::Bytes;

// The names carry the pid, so that test processes running at once do not meet.
const std::string kHost = "cvt-host-" + std::to_string(::getpid());
const std::string kNet = "cvt-net-" + std::to_string(::getpid());

int shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), got);
    ::pclose(pipe);
    return out;
}

bool have(const char* program) { return shell(std::string("command -v ") + program) == 0; }

// A process started through the shell (so its output can go to a file), stopped by pid.
class Process {
public:
    explicit Process(const std::string& command) {
        const std::string line = "exec " + command;
        char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(line.c_str()), nullptr};
        if (::posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, argv, environ) != 0) pid_ = -1;
    }
    ~Process() { stop(SIGTERM); }
    void stop(int signal) {
        if (pid_ <= 0) return;
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool portOpen(const std::string& address, int port) {
    return shell(std::string("ip netns exec ") + kNet + " bash -c 'exec 3<>/dev/tcp/" + address + "/" +
                 std::to_string(port) + "'") == 0;
}

// The daemon's control socket, used synchronously.
class Control {
public:
    Control() : work_(asio::make_work_guard(context_)), thread_([this] { context_.run(); }) {
        client_ = platform::ControlClient::create(context_.get_executor());
    }
    ~Control() {
        client_->close();
        work_.reset();
        context_.stop();
        thread_.join();
    }
    bool connect(const fs::path& socket) {
        std::promise<platform::Error> done;
        client_->connect(socket, [&](platform::Error error) { done.set_value(error); });
        return !done.get_future().get();
    }
    bool save(const platform::TransparentProxyConfiguration& configuration) {
        std::promise<std::optional<std::string>> done;
        client_->saveConfiguration(configuration, [&](std::optional<std::string> error) { done.set_value(error); });
        return !done.get_future().get();
    }
    bool start() { return call(&platform::ControlClient::start); }
    bool stop() { return call(&platform::ControlClient::stop); }
    platform::SessionStatus status() {
        std::promise<platform::SessionStatus> done;
        client_->hello([&](std::optional<platform::ControlClient::Hello> hello) {
            done.set_value(hello ? hello->status : platform::SessionStatus::invalid);
        });
        return done.get_future().get();
    }
    std::optional<Bytes> message(const std::string& text) {
        std::promise<std::optional<Bytes>> done;
        client_->sendProviderMessage(Bytes(text.begin(), text.end()),
                                     [&](std::optional<Bytes> reply) { done.set_value(std::move(reply)); });
        return done.get_future().get();
    }
    std::vector<ConnectionRecord> records() {
        auto reply = message("{\"kind\":\"fetchRecords\"}");
        if (!reply) return {};
        return decodeRecordList(std::string_view(reinterpret_cast<const char*>(reply->data()), reply->size()));
    }

private:
    bool call(void (platform::ControlClient::*operation)(std::function<void(bool)>)) {
        std::promise<bool> done;
        ((*client_).*operation)([&](bool handled) { done.set_value(handled); });
        return done.get_future().get();
    }

    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;
    std::shared_ptr<platform::ControlClient> client_;
};

ProxyServer proxy(std::string name, ProxyProtocol kind, std::string host, std::uint16_t port) {
    ProxyServer server;
    server.id = UUID::random();
    server.name = std::move(name);
    server.kind = kind;
    server.host = std::move(host);
    server.port = port;
    return server;
}

// The two namespaces, their services and the daemon, for the whole suite.
struct Topology {
    fs::path folder;
    fs::path probe;
    std::vector<std::unique_ptr<Process>> services;
    std::unique_ptr<Process> daemon;
    std::unique_ptr<Control> control;
    ProxyServer dante = proxy("dante", ProxyProtocol::socks5, "10.203.0.2", 1080);
    ProxyServer microsocks = proxy("microsocks", ProxyProtocol::socks5, "10.203.0.2", 1081);
    ProxyServer tinyproxy = proxy("tinyproxy", ProxyProtocol::httpConnect, "10.203.0.2", 8888);
    ProxyServer dead = proxy("dead", ProxyProtocol::socks5, "10.203.0.2", 1999);
    bool ready = false;

    Topology() {
        removeNamespaces();
        folder = fs::temp_directory_path() / ("cvt-e2e-" + std::to_string(::getpid()));
        fs::create_directories(folder / "runtime");
        fs::create_directories(folder / "state");
        fs::permissions(folder, fs::perms::all);
        // The probe lives under a world-writable folder: its identity is unverified.
        probe = folder / "corvane-e2e-peer";
        fs::copy_file(CORVANE_E2E_PEER, probe, fs::copy_options::overwrite_existing);
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
        writeConfigurations();
        // dante resolves names it is asked for through the responder of the test network.
        fs::create_directories("/etc/netns/" + kNet);
        std::ofstream("/etc/netns/" + kNet + "/resolv.conf") << "nameserver 10.203.0.2\n";
        const std::string inNet = std::string("ip netns exec ") + kNet + " ";
        const std::string logs = " >>" + (folder / "services.log").string() + " 2>&1";
        services.push_back(std::make_unique<Process>(inNet + probe.string() + " tcp-echo 7" + logs));
        services.push_back(std::make_unique<Process>(inNet + probe.string() + " banner 2525" + logs));
        services.push_back(std::make_unique<Process>(inNet + probe.string() + " udp-echo 198.18.0.10 7" + logs));
        services.push_back(std::make_unique<Process>(inNet + probe.string() + " dns 10.203.0.2 53" + logs));
        services.push_back(std::make_unique<Process>(inNet + "danted -f " + (folder / "danted.conf").string() + logs));
        services.push_back(
            std::make_unique<Process>(inNet + "microsocks -i 10.203.0.2 -p 1081 -u alice -P s3cret" + logs));
        services.push_back(
            std::make_unique<Process>(inNet + "tinyproxy -d -c " + (folder / "tinyproxy.conf").string() + logs));
        for (int port : {1080, 1081, 8888}) {
            if (!waitFor([&] { return portOpen("10.203.0.2", port); })) return;
        }
        if (!waitFor([&] { return portOpen("198.18.0.10", 7); })) return;

        startDaemon();
        if (!waitFor([&] { return fs::exists(folder / "runtime" / "control.sock"); })) return;
        control = std::make_unique<Control>();
        ready = control->connect(folder / "runtime" / "control.sock");
    }

    ~Topology() {
        control.reset();
        daemon.reset();
        services.clear();
        removeNamespaces();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    void startDaemon() {
        daemon = std::make_unique<Process>(std::string("ip netns exec ") + kHost + " env RUNTIME_DIRECTORY=" +
                                           (folder / "runtime").string() + " STATE_DIRECTORY=" +
                                           (folder / "state").string() + " " + CORVANE_TUNNEL_BINARY + " >>" +
                                           (folder / "daemon.log").string() + " 2>&1");
    }

    static void removeNamespaces() {
        shell(std::string("ip netns del ") + kHost);
        shell(std::string("ip netns del ") + kNet);
        std::error_code ignored;
        fs::remove_all("/etc/netns/" + kNet, ignored);
    }

    void writeConfigurations() const {
        std::ofstream(folder / "danted.conf")
            << "logoutput: " << (folder / "danted.log").string() << "\n"
            << "internal: 10.203.0.2 port = 1080\nexternal: 10.203.0.2\n"
            << "clientmethod: none\nsocksmethod: none\nuser.privileged: root\nuser.unprivileged: nobody\n"
            << "client pass { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n"
            << "socks pass { from: 0.0.0.0/0 to: 0.0.0.0/0 command: connect udpassociate udpreply }\n";
        writeTinyproxyConfiguration("tinyproxy", 8888);
    }

    // FOLDER/NAME.conf for a tinyproxy on 10.203.0.2:PORT, logging to NAME.log.
    fs::path writeTinyproxyConfiguration(const std::string& name, int port) const {
        const fs::path path = folder / (name + ".conf");
        std::ofstream(path) << "User nobody\nGroup nogroup\nListen 10.203.0.2\nPort " << port << "\nTimeout 60\n"
                            << "LogFile \"" << (folder / (name + ".log")).string() << "\"\nLogLevel Connect\n"
                            << "PidFile \"" << (folder / (name + ".pid")).string() << "\"\nMaxClients 20\n"
                            << "Allow 10.203.0.0/24\nDisableViaHeader Yes\n";
        return path;
    }
};

class TunnelEndToEnd : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        if (::geteuid() != 0) {
            skipReason() = "the end-to-end tests need root (network namespaces, nftables)";
            return;
        }
        for (const char* program : {"ip", "nft", "danted", "microsocks", "tinyproxy"}) {
            if (!have(program)) {
                skipReason() = std::string("the end-to-end tests need ") + program;
                return;
            }
        }
        state() = std::make_unique<Topology>();
        if (!state()->ready) {
            skipReason() = "the network namespaces could not be set up";
            state().reset();
        }
    }
    static void TearDownTestSuite() { state().reset(); }

    void SetUp() override {
        if (!skipReason().empty()) GTEST_SKIP() << skipReason();
    }

protected:
    static std::string& skipReason() {
        static std::string reason;
        return reason;
    }
    static std::unique_ptr<Topology>& state() {
        static std::unique_ptr<Topology> topology;
        return topology;
    }

    // A profile whose one rule sends the probe's TCP (and, with `udp`, UDP) port 7
    // and 2525 traffic to 198.18.0.10 the given way.
    static Profile profileWith(const std::vector<ProxyServer>& proxies, RuleAction action, bool udp = false) {
        Profile profile;
        profile.proxies = proxies;
        Rule rule;
        rule.id = UUID::random();
        rule.name = "Targets";
        rule.hosts = {"198.18.0.10/32", "fd00:18::10"};
        rule.ports = {PortRange{7, 7}, PortRange{2525, 2525}};
        rule.transports = {udp ? TransportProtocol::udp : TransportProtocol::tcp};
        rule.action = std::move(action);
        profile.rules.push_back(rule);
        return profile;
    }

    static platform::TransparentProxyConfiguration configuration(const Profile& profile,
                                                                 platform::StringMap secrets = {}) {
        platform::ConfigurationDictionary values;
        values["profile"] = Bytes(ProfileCodec::encode(profile, false));
        values["proxySecrets"] = std::move(secrets);
        return {"Corvane", true, {"org.corvane.Corvane.tunnel", "Corvane", values}};
    }

    // Saves the configuration and (re)starts the session with it.
    void run(const Profile& profile, platform::StringMap secrets = {}) {
        Control& control = *state()->control;
        control.stop();
        ASSERT_TRUE(control.save(configuration(profile, std::move(secrets))));
        ASSERT_TRUE(control.start());
        ASSERT_TRUE(waitFor([&] { return control.status() == platform::SessionStatus::connected; }));
    }

    // `holdMilliseconds`: how long a TCP probe waits before it half-closes.
    static nlohmann::json probe(const std::string& mode, const std::string& host, int port, int amount,
                                int holdMilliseconds = 0) {
        std::string command = std::string("ip netns exec ") + kHost + " " + state()->probe.string() + " " + mode + " " +
                              host + " " + std::to_string(port) + " " + std::to_string(amount);
        if (holdMilliseconds > 0) command += " " + std::to_string(holdMilliseconds);
        const std::string out = capture(command);
        try {
            return nlohmann::json::parse(out);
        } catch (const std::exception&) {
            return nlohmann::json::object();
        }
    }

    static std::optional<ConnectionRecord> waitForRecord(std::size_t index, ConnectionStatus status) {
        std::optional<ConnectionRecord> found;
        waitFor([&] {
            auto records = state()->control->records();
            if (records.size() <= index || records[index].status != status) return false;
            found = records[index];
            return true;
        });
        return found;
    }

    static std::string readFile(const fs::path& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static std::string daemonLog() { return readFile(state()->folder / "daemon.log"); }

    static std::size_t recordCount() { return state()->control->records().size(); }
};

TEST_F(TunnelEndToEnd, DirectFlowsPassThroughUnrecorded) {
    run(Profile::makeDefault());
    const std::size_t before = recordCount();
    const auto result = probe("tcp-probe", "198.18.0.10", 7, 100);
    EXPECT_EQ(result.value("greeting", ""), "peer=10.203.0.1");
    EXPECT_EQ(result.value("received", 0), 16 + 100);
    EXPECT_EQ(recordCount(), before);
    EXPECT_NE(daemonLog().find("TCP corvane-e2e-peer [signature unverified] → host=(none) addr=198.18.0.10:7 ⇒ "
                               "DIRECT via default"),
              std::string::npos);
    const std::string table = capture(std::string("ip netns exec ") + kHost + " nft list table inet corvane");
    EXPECT_NE(table.find("224.0.0.0/4"), std::string::npos);
    EXPECT_NE(table.find("ff00::/8"), std::string::npos);
}

TEST_F(TunnelEndToEnd, BlockedFlowsAreResetAndRecorded) {
    run(profileWith({}, RuleAction::block()));
    const std::size_t index = recordCount();
    const auto result = probe("tcp-probe", "198.18.0.10", 7, 10);
    EXPECT_EQ(result.value("received", -1), 0);
    EXPECT_TRUE(result.value("error", "") == "ECONNRESET" || result.value("connected", true) == false) << result.dump();
    const auto record = waitForRecord(index, ConnectionStatus::blocked);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->actionDescription, "Block");
    EXPECT_EQ(record->ruleName, "Targets");
    EXPECT_EQ(record->appPath, state()->probe.string());
    EXPECT_EQ(record->target, "198.18.0.10:7");
}

TEST_F(TunnelEndToEnd, DanteCarriesAHalfClosedTransferWithExactCounts) {
    run(profileWith({state()->dante}, RuleAction::proxy(state()->dante.id)));
    const std::size_t index = recordCount();
    const auto result = probe("tcp-probe", "198.18.0.10", 7, 102400);
    EXPECT_EQ(result.value("greeting", ""), "peer=10.203.0.2");
    EXPECT_EQ(result.value("received", 0), 16 + 102400);
    const auto record = waitForRecord(index, ConnectionStatus::closed);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->actionDescription, "Proxy: dante");
    EXPECT_EQ(record->bytesSent, 102400u);
    EXPECT_EQ(record->bytesReceived, 16u + 102400u);
}

TEST_F(TunnelEndToEnd, MicrosocksPasswordComesFromTheSecrets) {
    ProxyServer microsocks = state()->microsocks;
    microsocks.credentials = ProxyCredentials{"alice", ""};
    const Profile profile = profileWith({microsocks}, RuleAction::proxy(microsocks.id));
    run(profile, {{microsocks.id.toString(), "s3cret"}});
    std::size_t index = recordCount();
    // microsocks ends both directions when the client half-closes: wait for the echo.
    const auto echo = probe("tcp-probe", "198.18.0.10", 7, 5, 300);
    EXPECT_EQ(echo.value("received", 0), echo.value("greeting", "").size() + 1 + 5) << echo.dump();
    EXPECT_TRUE(waitForRecord(index, ConnectionStatus::closed));

    run(profile, {{microsocks.id.toString(), "wrong"}});
    index = recordCount();
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 5).value("received", -1), 0);
    EXPECT_TRUE(waitForRecord(index, ConnectionStatus::failed));
    EXPECT_NE(daemonLog().find("Relay setup to 198.18.0.10:7 failed: <private>"), std::string::npos);
}

TEST_F(TunnelEndToEnd, TinyproxyDeliversTheBannerOfATargetThatSpeaksFirst) {
    run(profileWith({state()->tinyproxy}, RuleAction::proxy(state()->tinyproxy.id)));
    // tinyproxy connects from the target's own address, 198.18.0.10.
    const auto echo = probe("tcp-probe", "198.18.0.10", 7, 10, 300);
    EXPECT_EQ(echo.value("greeting", ""), "peer=198.18.0.10");
    EXPECT_EQ(echo.value("received", 0), 17 + 10);
    EXPECT_NE(readFile(state()->folder / "tinyproxy.log").find("CONNECT 198.18.0.10:7"), std::string::npos);
    const auto banner = probe("tcp-probe", "198.18.0.10", 2525, 1, 300);
    EXPECT_EQ(banner.value("received", 0), 64);
    std::string expected;
    for (int i = 0; i < 64; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", 0xFF - i);
        expected += two;
    }
    EXPECT_EQ(banner.value("head", ""), expected);
}

TEST_F(TunnelEndToEnd, ChainsAndFailoverReachTheTarget) {
    const ProxyServer& dante = state()->dante;
    const ProxyServer& tinyproxy = state()->tinyproxy;
    const ProxyServer& dead = state()->dead;
    run(profileWith({dante, tinyproxy}, RuleAction::chain({dante.id, tinyproxy.id})));
    std::size_t index = recordCount();
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 10, 300).value("received", 0), 17 + 10);
    auto record = waitForRecord(index, ConnectionStatus::closed);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->actionDescription, "Chain: dante → tinyproxy");

    run(profileWith({dead, dante}, RuleAction::failover({dead.id, dante.id})));
    index = recordCount();
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 10).value("received", 0), 16 + 10);
    record = waitForRecord(index, ConnectionStatus::closed);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->actionDescription, "Failover: dante");
    EXPECT_NE(daemonLog().find("Failover: dead did not answer (Connection refused — nothing is listening on that port.)"),
              std::string::npos);
}

TEST_F(TunnelEndToEnd, UDPGoesThroughDanteAndRepliesComeFromTheTarget) {
    run(profileWith({state()->dante}, RuleAction::proxy(state()->dante.id), true));
    const std::size_t index = recordCount();
    const auto result = probe("udp-probe", "198.18.0.10", 7, 3);
    EXPECT_EQ(result.value("replies", 0), 3);
    EXPECT_EQ(result.value("sources", nlohmann::json::array()),
              (nlohmann::json{"198.18.0.10:7", "198.18.0.10:7", "198.18.0.10:7"}));
    // The probe has closed its socket: the flow ends soon after, with the sums
    // of the three 10-byte datagrams each way.
    const auto record = waitForRecord(index, ConnectionStatus::closed);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->target, "198.18.0.10:7 (UDP)");
    EXPECT_EQ(record->actionDescription, "Proxy: dante");
    EXPECT_EQ(record->bytesSent, 30u);
    EXPECT_EQ(record->bytesReceived, 30u);
}

TEST_F(TunnelEndToEnd, UDPFailoverPassesOverTheHTTPProxy) {
    const ProxyServer& tinyproxy = state()->tinyproxy;
    const ProxyServer& dante = state()->dante;
    run(profileWith({tinyproxy, dante}, RuleAction::failover({tinyproxy.id, dante.id}), true));
    const std::size_t index = recordCount();
    EXPECT_EQ(probe("udp-probe", "198.18.0.10", 7, 2).value("replies", 0), 2);
    const auto record = waitForRecord(index, ConnectionStatus::closed);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->actionDescription, "Proxy: tinyproxy (failover)");
}

TEST_F(TunnelEndToEnd, NamesLearntFromRelayedDNSAnswersMeetHostRules) {
    Profile profile;
    profile.proxies = {state()->dante};
    Rule rule;
    rule.id = UUID::random();
    rule.name = "Target names";
    rule.hosts = {"*.target.test"};
    rule.transports = {TransportProtocol::tcp};
    rule.action = RuleAction::proxy(state()->dante.id);
    profile.rules.push_back(rule);
    run(profile);
    const std::size_t index = recordCount();
    const std::string out = capture(std::string("ip netns exec ") + kHost + " " + state()->probe.string() +
                                    " resolve-probe 10.203.0.2 www.target.test 7");
    EXPECT_NE(out.find("\"greeting\":\"peer=10.203.0.2\""), std::string::npos) << out;
    EXPECT_NE(daemonLog().find("TCP corvane-e2e-peer [signature unverified] → host=www.target.test (via DNS) "
                               "addr=198.18.0.10:7 ⇒ PROXY(dante) via Target names"),
              std::string::npos);
    const auto record = waitForRecord(index, ConnectionStatus::closed);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->target, "www.target.test:7");
    // Without a lookup the address has no name and goes direct.
    EXPECT_EQ(probe("tcp-probe", "198.18.0.11", 7, 5).value("greeting", ""), "peer=10.203.0.1");
}

TEST_F(TunnelEndToEnd, ReloadProfileChangesTheRouteOfNewFlows) {
    const ProxyServer& dante = state()->dante;
    run(profileWith({dante}, RuleAction::block()));
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 10).value("received", -1), 0);
    const ProviderRequest reload{ProviderRequest::Kind::reloadProfile, profileWith({dante}, RuleAction::proxy(dante.id))};
    EXPECT_EQ(state()->control->message(reload.encoded()), std::nullopt);
    const std::size_t index = recordCount();
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 10).value("greeting", ""), "peer=10.203.0.2");
    const auto record = waitForRecord(index, ConnectionStatus::closed);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->actionDescription, "Proxy: dante");
}

TEST_F(TunnelEndToEnd, StopEndsRunningRelaysAndRemovesTheDiversion) {
    run(profileWith({state()->dante}, RuleAction::proxy(state()->dante.id)));
    const std::size_t index = recordCount();
    // A probe that keeps its connection open for two seconds.
    auto running = std::async(std::launch::async, [] { return probe("tcp-probe", "198.18.0.10", 7, 1000, 2000); });
    ASSERT_TRUE(waitForRecord(index, ConnectionStatus::active));
    ASSERT_TRUE(waitFor([&] { return state()->control->records()[index].bytesReceived == 16 + 1000; }));
    EXPECT_TRUE(state()->control->stop());
    EXPECT_NE(shell(std::string("ip netns exec ") + kHost + " nft list table inet corvane"), 0);
    running.get();
    ASSERT_TRUE(state()->control->start());
    ASSERT_TRUE(waitFor([] { return state()->control->status() == platform::SessionStatus::connected; }));
    const auto record = state()->control->records().at(index);
    EXPECT_EQ(record.status, ConnectionStatus::closed);
    EXPECT_EQ(record.bytesSent, 1000u);
    EXPECT_EQ(record.bytesReceived, 16u + 1000u);
}

// A service of the test network for one test, stopped by pid at its end.
std::unique_ptr<Process> startInNet(const std::string& command, int port) {
    auto process = std::make_unique<Process>(std::string("ip netns exec ") + kNet + " " + command);
    if (!waitFor([&] { return portOpen("10.203.0.2", port); })) return nullptr;
    return process;
}

std::size_t openDescriptors(pid_t pid) {
    std::error_code error;
    std::size_t count = 0;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end; !error && it != end;
         it.increment(error)) {
        ++count;
    }
    return count;
}

// The proxy dies in the middle of an upload. Stopped first, it reads nothing more and
// the daemon's writes queue in its receive buffer; killed then, its kernel closes a
// socket with unread data by a reset, not the FIN of an orderly end. The record fails,
// the application sees the reset, and the daemon serves new flows. The proxy is one
// that copies both ways at once (microsocks serves its client first and, fed at full
// speed, would never pass the echo back).
TEST_F(TunnelEndToEnd, KilledProxyMidTransferFailsItsRecordAndTheDaemonGoesOn) {
    const fs::path configuration = state()->writeTinyproxyConfiguration("doomed", 1082);
    auto doomed = startInNet("tinyproxy -d -c " + configuration.string(), 1082);
    ASSERT_TRUE(doomed);
    const ProxyServer doomedProxy = proxy("doomed", ProxyProtocol::httpConnect, "10.203.0.2", 1082);
    run(profileWith({doomedProxy}, RuleAction::proxy(doomedProxy.id)));
    const std::size_t index = recordCount();
    // An upload of up to 15 s, its echo read meanwhile.
    auto running = std::async(std::launch::async, [] { return probe("tcp-stream", "198.18.0.10", 7, 15000); });
    auto current = [&] { return state()->control->records().at(index); };
    ASSERT_TRUE(waitForRecord(index, ConnectionStatus::active));
    // Bytes flow both ways: the echo is past the greeting (slow when other tests
    // load the machine, hence the longer wait).
    constexpr std::uint64_t kFlowing = 256u << 10;
    ASSERT_TRUE(waitFor(
        [&] {
            const ConnectionRecord record = current();
            return record.bytesSent >= kFlowing && record.bytesReceived > 16;
        },
        std::chrono::seconds(14)));

    ::kill(doomed->pid(), SIGSTOP);
    // Stalled once the buffers on the way are full: the count holds for ten polls.
    std::uint64_t last = 0;
    int steady = 0;
    EXPECT_TRUE(waitFor([&] {
        const std::uint64_t sent = current().bytesSent;
        steady = sent == last ? steady + 1 : 0;
        last = sent;
        return steady >= 10;
    }));
    doomed->stop(SIGKILL);
    ConnectionRecord record;
    EXPECT_TRUE(waitFor([&] {
        record = current();
        return record.status != ConnectionStatus::active;
    }));
    EXPECT_EQ(record.status, ConnectionStatus::failed);
    EXPECT_GE(record.bytesSent, kFlowing);
    const auto result = running.get();
    EXPECT_TRUE(result.value("sendError", "") == "ECONNRESET" || result.value("receiveError", "") == "ECONNRESET")
        << result.dump();
    EXPECT_LT(result.value("received", 0), result.value("sent", 0) + 16) << result.dump();

    run(profileWith({state()->dante}, RuleAction::proxy(state()->dante.id)));
    const std::size_t next = recordCount();
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 10).value("received", 0), 16 + 10);
    EXPECT_TRUE(waitForRecord(next, ConnectionStatus::closed));
}

// The daemon has no setting for its proxy connect time-out: this waits the default 10 s.
TEST_F(TunnelEndToEnd, SilentProxyTimesOutAndFailoverMovesOn) {
    auto silent = startInNet(state()->probe.string() + " silent 1083", 1083);
    ASSERT_TRUE(silent);
    const ProxyServer silentProxy = proxy("silent", ProxyProtocol::socks5, "10.203.0.2", 1083);
    const ProxyServer& dante = state()->dante;
    run(profileWith({silentProxy, dante}, RuleAction::failover({silentProxy.id, dante.id})));
    const std::size_t index = recordCount();
    const std::string out = capture(std::string("ip netns exec ") + kHost + " " + state()->probe.string() +
                                    " tcp-burst 198.18.0.10 7 1 100");
    EXPECT_EQ(out, "{\"flows\":1,\"verified\":1}\n");
    const auto record = waitForRecord(index, ConnectionStatus::closed);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->actionDescription, "Failover: dante");
    EXPECT_EQ(record->bytesSent, 100u);
    EXPECT_NE(daemonLog().find("Failover: silent did not answer ("), std::string::npos) << daemonLog();
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The probe program, named by its path, is blocked towards both targets; the rest goes direct.
Rule blockingTheProbe(const fs::path& probe) {
    Rule rule;
    rule.id = UUID::random();
    rule.name = "No probe";
    rule.applications = {probe.string()};
    rule.hosts = {"198.18.0.10/32", "198.18.0.11/32"};
    rule.ports = {PortRange{7, 7}};
    rule.transports = {TransportProtocol::tcp};
    rule.action = RuleAction::block();
    return rule;
}

// Near the end: it fills the daemon's kept records. Each connection is found to be
// the probe's, whatever source port it reuses, so none of them escapes its rule to go
// out directly.
TEST_F(TunnelEndToEnd, EveryConnectionOfABlockedProgramIsAttributedToIt) {
    Profile profile;
    profile.rules = {blockingTheProbe(state()->probe)};
    run(profile);
    const std::string peer = std::string("ip netns exec ") + kHost + " " + state()->probe.string();
    // Only a flow whose program is known can meet the rule naming it.
    const std::string attributed = "⇒ BLOCK via No probe";
    const std::size_t before = occurrences(daemonLog(), attributed);
    EXPECT_EQ(capture(peer + " tcp-many 198.18.0.10 7 500"), "{\"flows\":500,\"reached\":0}\n");
    EXPECT_EQ(capture(peer + " tcp-reuse 198.18.0.10 198.18.0.11 7 100"), "{\"flows\":200,\"reached\":0}\n");
    EXPECT_TRUE(waitFor([&] { return occurrences(daemonLog(), attributed) == before + 700; }))
        << occurrences(daemonLog(), attributed) - before << " of 700 connections attributed";
    EXPECT_EQ(daemonLog().find("TCP ? "), std::string::npos);
}

// curl reuses the source port of a blocked connection of another program, and its
// own rule still sends it through its proxy.
TEST_F(TunnelEndToEnd, ProgramReusingAnotherProgramsSourcePortKeepsItsOwnRule) {
    if (!have("curl")) GTEST_SKIP() << "this test needs curl";
    Profile profile;
    profile.proxies = {state()->dante};
    Rule viaDante;
    viaDante.id = UUID::random();
    viaDante.name = "curl via dante";
    viaDante.applications = {"curl"};
    viaDante.hosts = {"198.18.0.11/32"};
    viaDante.action = RuleAction::proxy(state()->dante.id);
    profile.rules = {blockingTheProbe(state()->probe), viaDante};
    run(profile);
    const std::string port = std::to_string(42000 + ::getpid() % 1000);
    const std::string inHost = std::string("ip netns exec ") + kHost + " ";
    EXPECT_EQ(capture(inHost + state()->probe.string() + " tcp-from " + port + " 198.18.0.10 7"),
              "{\"reached\":false}\n");
    const std::string out = capture(inHost + "curl --http0.9 -s -m 2 --local-port " + port + " http://198.18.0.11:7/");
    EXPECT_EQ(out.substr(0, out.find('\n')), "peer=10.203.0.2") << out;
}

// Near the end: it fills the daemon's kept records.
TEST_F(TunnelEndToEnd, YThousandConcurrentFlowsArriveIntactAndReleaseTheirDescriptors) {
    run(profileWith({state()->dante}, RuleAction::proxy(state()->dante.id)));
    const pid_t daemon = state()->daemon->pid();
    const std::size_t baseline = openDescriptors(daemon);
    constexpr int kBatches = 5;
    constexpr int kFlows = 200;
    constexpr std::size_t kBytes = 4096;
    for (int batch = 0; batch < kBatches; ++batch) {
        const std::string out = capture(std::string("ip netns exec ") + kHost + " " + state()->probe.string() +
                                        " tcp-burst 198.18.0.10 7 " + std::to_string(kFlows) + " " +
                                        std::to_string(kBytes));
        EXPECT_EQ(out, "{\"flows\":200,\"verified\":200}\n") << "batch " << batch;
    }
    std::vector<ConnectionRecord> kept;
    EXPECT_TRUE(waitFor([&] {
        kept = state()->control->records();
        for (const ConnectionRecord& record : kept) {
            if (record.status == ConnectionStatus::active) return false;
        }
        return true;
    }));
    ASSERT_EQ(kept.size(), 500u);
    for (const ConnectionRecord& record : kept) {
        EXPECT_EQ(record.status, ConnectionStatus::closed);
        EXPECT_EQ(record.actionDescription, "Proxy: dante");
        EXPECT_EQ(record.bytesSent, kBytes);
        EXPECT_EQ(record.bytesReceived, 16 + kBytes);
    }
    EXPECT_TRUE(waitFor([&] { return openDescriptors(daemon) <= baseline; }, std::chrono::seconds(3)))
        << openDescriptors(daemon) << " open, " << baseline << " before";
}

// Last: it ends the daemon.
TEST_F(TunnelEndToEnd, ZZKilledDaemonLeavesTheNetworkWorking) {
    run(profileWith({state()->dante}, RuleAction::proxy(state()->dante.id)));
    state()->control.reset();
    state()->daemon->stop(SIGKILL);
    EXPECT_TRUE(waitFor([] {
        return shell(std::string("ip netns exec ") + kHost + " nft list table inet corvane") != 0;
    }));
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 10).value("greeting", ""), "peer=10.203.0.1");

    // Its routing rule outlives it, matching nothing, until the next daemon starts.
    const auto divertRule = [] {
        return capture(std::string("ip -n ") + kHost + " rule list").find("fwmark 0x43560002") != std::string::npos;
    };
    EXPECT_TRUE(divertRule());
    state()->startDaemon();
    EXPECT_TRUE(waitFor([&] { return !divertRule(); }));
}

}  // namespace
}  // namespace corvane
