#include "platform/linux/PolicyRouting.hpp"

#include "HelperProcess.hpp"
#include "TemporaryDirectory.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <thread>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;
using testing::HelperProcess;
using Json = nlohmann::json;

// Two namespaces joined by a veth: cvd-host is the machine under test (the
// diversion, the probes), cvd-net the "internet" with the targets
// 10.205.0.10 and fd00:205::10 on its lo. Nothing is routed out of them.
// The names carry the pid, so that test processes running at once do not meet.
const std::string kHost = "cvd-host-" + std::to_string(::getpid());
const std::string kNet = "cvd-net-" + std::to_string(::getpid());
const std::string kTarget4 = "10.205.0.10";
const std::string kTarget6 = "fd00:205::10";

bool ip(std::vector<std::string> arguments) {
    const auto result = PolicyRouting::runIp(arguments);
    if (result.status != 0) ADD_FAILURE() << "ip failed: " << result.errorOutput;
    return result.status == 0;
}

void deleteNamespaces() {
    for (const auto& name : {kHost, kNet}) PolicyRouting::runIp({"netns", "del", name});
}

bool makeNamespaces() {
    deleteNamespaces();
    const std::vector<std::vector<std::string>> commands = {
        {"netns", "add", kHost},
        {"netns", "add", kNet},
        {"link", "add", "cvd-h0", "netns", kHost, "type", "veth", "peer", "name", "cvd-n0", "netns", kNet},
        {"-n", kHost, "link", "set", "lo", "up"},
        {"-n", kHost, "link", "set", "cvd-h0", "up"},
        {"-n", kNet, "link", "set", "lo", "up"},
        {"-n", kNet, "link", "set", "cvd-n0", "up"},
        {"-n", kHost, "addr", "add", "10.204.0.1/24", "dev", "cvd-h0"},
        {"-n", kHost, "addr", "add", "fd00:204::1/64", "dev", "cvd-h0", "nodad"},
        {"-n", kNet, "addr", "add", "10.204.0.2/24", "dev", "cvd-n0"},
        {"-n", kNet, "addr", "add", "fd00:204::2/64", "dev", "cvd-n0", "nodad"},
        {"-n", kNet, "addr", "add", kTarget4 + "/32", "dev", "lo"},
        {"-n", kNet, "addr", "add", kTarget6 + "/128", "dev", "lo", "nodad"},
        {"-n", kHost, "route", "add", "default", "via", "10.204.0.2"},
        {"-n", kHost, "-6", "route", "add", "default", "via", "fd00:204::2"},
    };
    for (const auto& command : commands)
        if (!ip(command)) return false;
    return true;
}

std::vector<std::string> inNamespace(const std::string& name, std::vector<std::string> argv) {
    std::vector<std::string> full = {"/usr/bin/env", "ip", "netns", "exec", name};
    full.insert(full.end(), argv.begin(), argv.end());
    return full;
}

bool hostHasTable() {
    return PolicyRouting::runIp({"netns", "exec", kHost, "nft", "list", "table", "inet", "corvane"}).status == 0;
}

class DiversionNamespaceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (::geteuid() != 0 || ::access("/usr/sbin/nft", X_OK) != 0) return;
        if (!makeNamespaces()) return;
        probes_ = std::make_unique<testing::TemporaryDirectory>();
        for (const char* name : {"cvd-probe", "cvd-probe-direct"}) {
            fs::copy_file(CORVANE_DIVERSION_TEST_HELPER, probes_->path() / name);
            ::chmod((probes_->path() / name).c_str(), 0755);
        }
        targets_ = std::make_unique<HelperProcess>(
            inNamespace(kNet, {CORVANE_DIVERSION_TEST_HELPER, "serve", kTarget4, kTarget6}));
        if (!targets_->waitForLine([](const Json&) { return true; })) return;
        ready_ = startHost();
    }

    static void TearDownTestSuite() {
        host_.reset();
        targets_.reset();
        probes_.reset();
        deleteNamespaces();
    }

    // The suite's host checks its sockets only every 15 s (the default), so a
    // UDP flow that ends sooner was ended by the kernel's report of its socket.
    static bool startHost(std::vector<std::string> options = {"--udp-flow-limit", "64"}) {
        host_.reset();
        std::vector<std::string> argv = {CORVANE_DIVERSION_TEST_HELPER, "host"};
        argv.insert(argv.end(), options.begin(), options.end());
        host_ = std::make_unique<HelperProcess>(inNamespace(kHost, argv));
        const auto line = host_->waitForLine([](const Json& l) { return l.value("kind", "") != "tcp"; });
        if (!line || (*line)["kind"] != "ready") return false;
        listenerPort_ = (*line)["tcpPort"].get<int>();
        return true;
    }

    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "the diversion tests need root (network namespaces, nftables)";
        if (::access("/usr/sbin/nft", X_OK) != 0) GTEST_SKIP() << "nft is not installed";
        ASSERT_TRUE(ready_) << "the namespaces or the diversion host could not be set up";
    }

    struct ProbeResult {
        pid_t pid = -1;
        Json output;
    };

    static ProbeResult probe(const std::string& program, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {(probes_->path() / program).string(), "probe"});
        HelperProcess process(inNamespace(kHost, arguments));
        ProbeResult result;
        result.pid = process.pid();
        const auto line = process.waitForLine([](const Json&) { return true; }, std::chrono::seconds(5));
        process.wait(std::chrono::seconds(2));
        if (line) result.output = *line;
        return result;
    }

    // The host's report of the flow the probe made.
    static std::optional<Json> reported(const char* kind, pid_t pid,
                                        std::chrono::milliseconds limit = std::chrono::seconds(3)) {
        return host_->waitForLine(
            [&](const Json& line) { return line.value("kind", "") == kind && line.value("pid", -1) == pid; }, limit);
    }

    // Everything the host reported, for failure messages.
    static std::string hostReport() {
        std::string text;
        for (const auto& line : host_->lines()) text += line.dump() + "\n";
        return text;
    }

    static std::string probePath(const std::string& program) { return (probes_->path() / program).string(); }

    static std::size_t hostDescriptors() {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/" + std::to_string(host_->pid()) + "/fd"),
                                                      fs::directory_iterator()));
    }

    // Waits until the host holds no more descriptors than `limit`.
    static bool hostDescriptorsFallTo(std::size_t limit, std::chrono::milliseconds within) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (hostDescriptors() > limit) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    static std::optional<Json> udpEnd(const std::string& first, std::chrono::milliseconds limit) {
        return host_->waitForLine(
            [&](const Json& line) { return line.value("kind", "") == "udp-end" && line.value("first", "") == first; },
            limit);
    }

    static inline std::unique_ptr<testing::TemporaryDirectory> probes_;
    static inline std::unique_ptr<HelperProcess> targets_;
    static inline std::unique_ptr<HelperProcess> host_;
    static inline bool ready_ = false;
    static inline int listenerPort_ = 0;
};

TEST_F(DiversionNamespaceTest, DeclinedTcpIsPassedThroughFromTheHostsOwnAddress) {
    for (const auto& [target, peer] : {std::pair{kTarget4, "10.204.0.1"}, {kTarget6, "fd00:204::1"}}) {
        const auto result = probe("cvd-probe", {"tcp", target, "7", "hello"});
        EXPECT_EQ(result.output["received"], std::string("peer ") + peer + "\nhello") << target;
        EXPECT_EQ(result.output["errno"], "");
        const auto flow = reported("tcp", result.pid);
        ASSERT_TRUE(flow) << target << " pid " << result.pid << "\n" << hostReport();
        EXPECT_EQ((*flow)["host"], target);
        EXPECT_EQ((*flow)["port"], "7");
        EXPECT_EQ((*flow)["path"], probePath("cvd-probe"));
        EXPECT_EQ((*flow)["identifier"], "cvd-probe");
    }
}

TEST_F(DiversionNamespaceTest, ALargeDeclinedTransferArrivesWholeAndAFailedPassThroughResets) {
    const std::string payload(100000, 'p');
    EXPECT_EQ(probe("cvd-probe", {"tcp", kTarget4, "7", payload}).output["received"], "peer 10.204.0.1\n" + payload);
    // Nothing listens on 1999: the host's own connection is refused, so the app's is reset.
    for (const auto& target : {kTarget4, kTarget6}) {
        const auto result = probe("cvd-probe", {"tcp", target, "1999", "x"});
        EXPECT_EQ(result.output["connected"], true) << target;
        EXPECT_EQ(result.output["errno"], "ECONNRESET") << target;
        EXPECT_EQ(result.output["received"], "") << target;
    }
}

TEST_F(DiversionNamespaceTest, AConnectionMadeStraightToTheListenerIsRefused) {
    const auto result = probe("cvd-probe", {"tcp", "127.0.0.1", std::to_string(listenerPort_), "x"});
    EXPECT_EQ(result.output["errno"], "ECONNRESET") << result.output.dump();
    EXPECT_EQ(result.output["received"], "");
    // A flow offered to the provider is reported before the app could see anything.
    EXPECT_FALSE(reported("tcp", result.pid, std::chrono::milliseconds(200)));
}

TEST_F(DiversionNamespaceTest, ABlockedFlowIsResetAfterItsConnect) {
    for (const auto& target : {kTarget4, kTarget6}) {
        const auto result = probe("cvd-probe", {"tcp", target, "9", "hello"});
        EXPECT_EQ(result.output["connected"], true) << target;
        EXPECT_EQ(result.output["errno"], "ECONNRESET") << target;
        EXPECT_EQ(result.output["received"], "") << target;
        const auto flow = reported("tcp", result.pid);
        ASSERT_TRUE(flow) << target << " pid " << result.pid << "\n" << hostReport();
        EXPECT_EQ((*flow)["port"], "9");
    }
}

TEST_F(DiversionNamespaceTest, ARelayedFlowReachesTheProvidersEchoWithItsOriginalDestination) {
    for (const auto& target : {kTarget4, kTarget6}) {
        const auto result = probe("cvd-probe", {"tcp", target, "8", std::string(5000, 'x')});
        EXPECT_EQ(result.output["received"], "local\n" + std::string(5000, 'x')) << target;
        const auto flow = reported("tcp", result.pid);
        ASSERT_TRUE(flow) << target << " pid " << result.pid << "\n" << hostReport();
        EXPECT_EQ((*flow)["host"], target);
        EXPECT_EQ((*flow)["port"], "8");
        EXPECT_EQ((*flow)["path"], probePath("cvd-probe"));
    }
}

TEST_F(DiversionNamespaceTest, UdpRepliesComeFromTheOriginalDestination) {
    for (const auto& target : {kTarget4, kTarget6}) {
        const auto payload = "ping " + target;
        const auto result = probe("cvd-probe", {"udp", target, "7", payload, "twice"});
        const Json reply = {{"payload", "relayed:" + payload}, {"from", target + " 7"}};
        EXPECT_EQ(result.output["replies"], Json::array({reply, reply})) << target;
        const auto flow = reported("udp", result.pid);
        ASSERT_TRUE(flow) << target << " pid " << result.pid << "\n" << hostReport();
        EXPECT_EQ((*flow)["identifier"], "cvd-probe");
        EXPECT_EQ((*flow)["path"], probePath("cvd-probe"));
        // The probe's socket is gone: the kernel's report ends the flow.
        EXPECT_TRUE(udpEnd(payload, std::chrono::seconds(2))) << hostReport();
    }
}

// A program that sends and closes at once: its socket is gone before the
// provider reads, yet every datagram it sent is read before the flow ends.
TEST_F(DiversionNamespaceTest, AFlowWhoseSocketClosedAtOnceStillDeliversWhatItSent) {
    for (const auto& target : {kTarget4, kTarget6}) {
        const auto payload = "fire-" + target;
        probe("cvd-probe", {"udp-fire", target, "7", payload, "3"});
        const auto end = udpEnd(payload, std::chrono::seconds(2));
        ASSERT_TRUE(end) << target << "\n" << hostReport();
        EXPECT_EQ((*end)["datagrams"], 3) << target << "\n" << hostReport();
    }
}

// Beyond the flow limit new sources are dropped, while a flow that already
// exists keeps every datagram; once the storm's sockets close, the host is
// back to the descriptors it had. Taken flows share the reply sockets; each
// declined one is passed through on a socket of its own.
TEST_F(DiversionNamespaceTest, AStormOfNewSourcesKeepsTheDatagramsOfAnExistingFlow) {
    for (const char* program : {"cvd-probe", "cvd-probe-direct"}) {
        // The sockets that stay (the reply socket for the target) are made
        // before counting, and the priming flow has ended.
        probe(program, {"udp", kTarget4, "7", std::string("before the storm of ") + program});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto before = hostDescriptors();
        const auto result = probe(program, {"udp-storm", kTarget4, "7", "3000"});
        EXPECT_EQ(result.output["established"], true) << program << " " << result.output.dump();
        EXPECT_EQ(result.output["sent"], 300) << program;
        EXPECT_EQ(result.output["answered"], result.output["sent"]) << program << " " << result.output.dump();
        EXPECT_TRUE(hostDescriptorsFallTo(before, std::chrono::seconds(3)))
            << program << ": " << hostDescriptors() << " > " << before;
    }
}

// Where the kernel's reports are not used, the periodic check ends the flow.
TEST_F(DiversionNamespaceTest, WithoutSocketReportsThePeriodicCheckEndsUdpFlows) {
    ASSERT_TRUE(startHost({"--no-socket-watch", "--check-ms", "200"}));
    const auto result = probe("cvd-probe", {"udp", kTarget4, "7", "checked"});
    EXPECT_EQ(result.output["replies"].size(), 1U) << result.output.dump();
    EXPECT_TRUE(udpEnd("checked", std::chrono::seconds(2))) << hostReport();
    ready_ = startHost();
    EXPECT_TRUE(ready_);
}

// A flow that begins with a query to port 53 says so, and stays its own
// program's: it is not passed off as the system resolver's.
TEST_F(DiversionNamespaceTest, AFlowToPort53KeepsItsProgramsIdentifier) {
    const auto result = probe("cvd-probe", {"udp", kTarget4, "53", "query"});
    EXPECT_EQ(result.output["replies"], Json::array({{{"payload", "relayed:query"}, {"from", kTarget4 + " 53"}}}));
    const auto flow = reported("udp", result.pid);
    ASSERT_TRUE(flow) << hostReport();
    EXPECT_EQ((*flow)["identifier"], "cvd-probe");
    EXPECT_EQ((*flow)["firstPort"], 53);
}

TEST_F(DiversionNamespaceTest, ADeclinedUdpSocketBypassesTheDiversion) {
    for (const auto& target : {kTarget4, kTarget6}) {
        const auto result = probe("cvd-probe-direct", {"udp", target, "7", "ping", "twice"});
        const Json reply = {{"payload", "ping"}, {"from", target + " 7"}};
        EXPECT_EQ(result.output["replies"], Json::array({reply, reply})) << target;
        ASSERT_TRUE(reported("udp", result.pid)) << hostReport();
        const auto set = target == kTarget4 ? "udp_declined4" : "udp_declined6";
        const auto source = target == kTarget4 ? "10.204.0.1" : "fd00:204::1";
        // The element is written by a thread of its own, shortly after the decline.
        const auto port = std::to_string(result.output["localPort"].get<int>());
        std::string text;
        for (int attempt = 0; attempt < 20 && text.find(port) == std::string::npos; ++attempt) {
            HelperProcess listing(inNamespace(kHost, {"/usr/sbin/nft", "-j", "list", "set", "inet", "corvane", set}));
            const auto json = listing.waitForLine([](const Json&) { return true; });
            ASSERT_TRUE(json);
            text = json->dump();
        }
        EXPECT_NE(text.find(source), std::string::npos) << text;
        EXPECT_NE(text.find(port), std::string::npos) << text;
    }
}

TEST_F(DiversionNamespaceTest, RemovingTheSettingsTakesTheTableAndTheRoutingAway) {
    ASSERT_TRUE(hostHasTable());
    ::kill(host_->pid(), SIGUSR1);
    ASSERT_TRUE(host_->waitForLine([](const Json& line) { return line.value("kind", "") == "removed"; }));
    EXPECT_FALSE(hostHasTable());
    for (const char* family : {"-4", "-6"}) {
        HelperProcess rules(inNamespace(kHost, {"/usr/sbin/ip", "-j", family, "rule", "show"}));
        const auto json = rules.waitForLine([](const Json&) { return true; });
        ASSERT_TRUE(json);
        EXPECT_EQ(json->dump().find("fwmark"), std::string::npos) << json->dump();
        HelperProcess routes(inNamespace(kHost, {"/usr/sbin/ip", "-j", family, "route", "show", "table", "17238"}));
        const auto table = routes.waitForLine([](const Json&) { return true; });
        EXPECT_TRUE(!table || table->empty()) << table->dump();
    }
    EXPECT_EQ(probe("cvd-probe", {"tcp", kTarget4, "9", "x"}).output["received"], "peer 10.204.0.1\nx");
    ready_ = startHost();
}

// It replaces the suite's host.
TEST_F(DiversionNamespaceTest, KillingTheDaemonLeavesNoTableAndDirectTrafficWorks) {
    ASSERT_TRUE(hostHasTable());
    EXPECT_EQ(probe("cvd-probe", {"tcp", kTarget4, "9", "x"}).output["errno"], "ECONNRESET");
    host_->stop(SIGKILL);
    EXPECT_FALSE(hostHasTable());
    for (const auto& [target, peer] : {std::pair{kTarget4, "10.204.0.1"}, {kTarget6, "fd00:204::1"}}) {
        EXPECT_EQ(probe("cvd-probe", {"tcp", target, "9", "back"}).output["received"],
                  std::string("peer ") + peer + "\nback");
        const Json echo = {{"payload", "ping"}, {"from", target + " 7"}};
        EXPECT_EQ(probe("cvd-probe", {"udp", target, "7", "ping"}).output["replies"], Json::array({echo}));
    }
    ready_ = startHost();
    EXPECT_TRUE(ready_);
}

}  // namespace
}  // namespace corvane::platform
