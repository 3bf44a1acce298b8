// The real daemon in a network namespace of its own, diverting a probe's traffic to
// servers and proxies (dante, microsocks, tinyproxy) in a second namespace.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "Shared/ProviderRequest.hpp"
#include "Support/Shell.hpp"
#include "Support/SessionTest.hpp"
#include "platform/Pipe.hpp"

namespace corvane {
namespace {

using namespace e2e;
namespace fs = std::filesystem;
using platform::Bytes;

class TunnelEndToEnd : public SessionTest {
protected:
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

    // The peer program with `arguments`, run in the host namespace by `uid` without
    // groups; its JSON report (an empty object when it printed none).
    static nlohmann::json peerAs(std::uint32_t uid, const std::string& arguments) {
        const std::string id = std::to_string(uid);
        const std::string out = capture(std::string("ip netns exec ") + kHost + " setpriv --reuid=" + id +
                                        " --regid=" + id + " --clear-groups " + topology()->probeProgram.string() +
                                        " " + arguments);
        try {
            return nlohmann::json::parse(out);
        } catch (const std::exception&) {
            return nlohmann::json::object();
        }
    }
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
    EXPECT_EQ(record->appPath, topology()->probeProgram.string());
    EXPECT_EQ(record->target, "198.18.0.10:7");
}

TEST_F(TunnelEndToEnd, DanteCarriesAHalfClosedTransferWithExactCounts) {
    run(profileWith({topology()->dante}, RuleAction::proxy(topology()->dante.id)));
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
    ProxyServer microsocks = topology()->microsocks;
    microsocks.credentials = ProxyCredentials{"alice", ""};
    const Profile profile = profileWith({microsocks}, RuleAction::proxy(microsocks.id));
    run(profile, {{microsocks.id.toString(), "s3cret"}});
    std::size_t index = recordCount();
    // microsocks ends both directions when the client half-closes: wait for the echo.
    const auto echo = probe("tcp-echo-probe", "198.18.0.10", 7, 5);
    EXPECT_EQ(echo.value("received", 0), echo.value("greeting", "").size() + 1 + 5) << echo.dump();
    EXPECT_TRUE(waitForRecord(index, ConnectionStatus::closed));

    run(profile, {{microsocks.id.toString(), "wrong"}});
    index = recordCount();
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 5).value("received", -1), 0);
    EXPECT_TRUE(waitForRecord(index, ConnectionStatus::failed));
    EXPECT_NE(daemonLog().find("Relay setup to 198.18.0.10:7 failed: <private>"), std::string::npos);
}

TEST_F(TunnelEndToEnd, TinyproxyDeliversTheBannerOfATargetThatSpeaksFirst) {
    run(profileWith({topology()->tinyproxy}, RuleAction::proxy(topology()->tinyproxy.id)));
    // tinyproxy connects from the target's own address, 198.18.0.10.
    const auto echo = probe("tcp-echo-probe", "198.18.0.10", 7, 10);
    EXPECT_EQ(echo.value("greeting", ""), "peer=198.18.0.10");
    EXPECT_EQ(echo.value("received", 0), 17 + 10);
    EXPECT_NE(readFile(topology()->folder / "tinyproxy.log").find("CONNECT 198.18.0.10:7"), std::string::npos);
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
    const ProxyServer& dante = topology()->dante;
    const ProxyServer& tinyproxy = topology()->tinyproxy;
    const ProxyServer& dead = topology()->dead;
    run(profileWith({dante, tinyproxy}, RuleAction::chain({dante.id, tinyproxy.id})));
    std::size_t index = recordCount();
    EXPECT_EQ(probe("tcp-echo-probe", "198.18.0.10", 7, 10).value("received", 0), 17 + 10);
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
    run(profileWith({topology()->dante}, RuleAction::proxy(topology()->dante.id), true));
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
    const ProxyServer& tinyproxy = topology()->tinyproxy;
    const ProxyServer& dante = topology()->dante;
    run(profileWith({tinyproxy, dante}, RuleAction::failover({tinyproxy.id, dante.id}), true));
    const std::size_t index = recordCount();
    EXPECT_EQ(probe("udp-probe", "198.18.0.10", 7, 2).value("replies", 0), 2);
    const auto record = waitForRecord(index, ConnectionStatus::closed);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->actionDescription, "Proxy: tinyproxy (failover)");
}

TEST_F(TunnelEndToEnd, NamesLearntFromRelayedDNSAnswersMeetHostRules) {
    Profile profile;
    profile.proxies = {topology()->dante};
    Rule rule;
    rule.id = UUID::random();
    rule.name = "Target names";
    rule.hosts = {"*.target.test"};
    rule.transports = {TransportProtocol::tcp};
    rule.action = RuleAction::proxy(topology()->dante.id);
    profile.rules.push_back(rule);
    run(profile);
    const std::size_t index = recordCount();
    const std::string out = capture(std::string("ip netns exec ") + kHost + " " + topology()->probeProgram.string() +
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

// Two users of the machine, neither of them root, each running the peer program.
constexpr std::uint32_t kAlice = 64101;
constexpr std::uint32_t kBob = 64102;

Rule hostRule(std::string name, std::vector<std::string> hosts, RuleAction action) {
    Rule rule;
    rule.id = UUID::random();
    rule.name = std::move(name);
    rule.hosts = std::move(hosts);
    rule.action = std::move(action);
    return rule;
}

// Alice's DNS server answers the "name" 198.18.0.66, and then www.target.test, with
// 198.18.0.10. Bob's proxied connections to that address still go to that address,
// and Alice's own connection is matched by the name she was told only when it is a
// name.
TEST_F(TunnelEndToEnd, NamesOneUserWasToldServeNoOtherUser) {
    if (!have("setpriv")) GTEST_SKIP() << "this test needs setpriv";
    const ProxyServer& dante = topology()->dante;
    Profile profile;
    profile.proxies = {dante};
    // Also for UDP, so that the daemon takes every DNS flow over.
    profile.rules = {hostRule("Targets", {"198.18.0.10/32"}, RuleAction::proxy(dante.id))};
    run(profile);

    std::size_t index = recordCount();
    const auto literal = peerAs(kAlice, "resolve-probe 10.203.0.2 198.18.0.66 7");
    EXPECT_EQ(literal.value("greeting", ""), "peer=10.203.0.2") << literal.dump();
    const auto bob = peerAs(kBob, "tcp-echo-probe 198.18.0.10 7 5");
    EXPECT_EQ(bob.value("greeting", ""), "peer=10.203.0.2") << bob.dump();
    EXPECT_EQ(bob.value("received", 0), 16 + 5);
    for (std::size_t flow : {index, index + 1}) {
        const auto record = waitForRecord(flow, ConnectionStatus::closed);
        const auto kept = topology()->control->records();
        ASSERT_TRUE(record) << "flow " << flow - index << " to " << (kept.size() > flow ? kept[flow].target : "?");
        EXPECT_EQ(record->target, "198.18.0.10:7");
    }

    index = recordCount();
    const auto named = peerAs(kAlice, "resolve-probe 10.203.0.2 www.target.test 7");
    EXPECT_EQ(named.value("greeting", ""), "peer=10.203.0.2") << named.dump();
    EXPECT_EQ(peerAs(kBob, "tcp-echo-probe 198.18.0.10 7 5").value("greeting", ""), "peer=10.203.0.2");
    const auto alices = waitForRecord(index, ConnectionStatus::closed);
    const auto bobs = waitForRecord(index + 1, ConnectionStatus::closed);
    ASSERT_TRUE(alices && bobs);
    EXPECT_EQ(alices->target, "www.target.test:7");
    EXPECT_EQ(bobs->target, "198.18.0.10:7");
}

// Everything is blocked but DNS and *.allowed.test. Alice's server calls 198.18.0.10
// evil.allowed.test: her own connection goes through, Bob's stays blocked.
TEST_F(TunnelEndToEnd, ANameOneUserWasToldLiftsNoBlockForAnother) {
    if (!have("setpriv")) GTEST_SKIP() << "this test needs setpriv";
    Profile profile;
    profile.defaultAction = RuleAction::block();
    Rule dns = hostRule("DNS", {"10.203.0.2/32"}, RuleAction::direct());
    dns.ports = {PortRange{53, 53}};
    dns.transports = {TransportProtocol::udp};
    profile.rules = {dns, hostRule("Allowed", {"*.allowed.test"}, RuleAction::direct())};
    run(profile);

    const std::size_t index = recordCount();
    const auto alice = peerAs(kAlice, "resolve-probe 10.203.0.2 evil.allowed.test 7");
    EXPECT_EQ(alice.value("greeting", ""), "peer=10.203.0.1") << alice.dump();
    const auto bob = peerAs(kBob, "tcp-probe 198.18.0.10 7 5");
    EXPECT_EQ(bob.value("received", -1), 0) << bob.dump();
    const auto record = waitForRecord(index, ConnectionStatus::blocked);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->target, "198.18.0.10:7");
    EXPECT_EQ(record->ruleName, std::nullopt);
}

TEST_F(TunnelEndToEnd, ReloadProfileChangesTheRouteOfNewFlows) {
    const ProxyServer& dante = topology()->dante;
    run(profileWith({dante}, RuleAction::block()));
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 10).value("received", -1), 0);
    const ProviderRequest reload{ProviderRequest::Kind::reloadProfile, profileWith({dante}, RuleAction::proxy(dante.id))};
    EXPECT_EQ(topology()->control->message(reload.encoded()), std::nullopt);
    const std::size_t index = recordCount();
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 10).value("greeting", ""), "peer=10.203.0.2");
    const auto record = waitForRecord(index, ConnectionStatus::closed);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->actionDescription, "Proxy: dante");
}

TEST_F(TunnelEndToEnd, StopEndsRunningRelaysAndRemovesTheDiversion) {
    run(profileWith({topology()->dante}, RuleAction::proxy(topology()->dante.id)));
    const std::size_t index = recordCount();
    // A probe that keeps its connection open for two seconds.
    auto running = std::async(std::launch::async, [] { return probe("tcp-probe", "198.18.0.10", 7, 1000, 2000); });
    ASSERT_TRUE(waitForRecord(index, ConnectionStatus::active));
    ASSERT_TRUE(waitFor([&] { return topology()->control->records()[index].bytesReceived == 16 + 1000; }));
    EXPECT_TRUE(topology()->control->stop());
    EXPECT_NE(shell(std::string("ip netns exec ") + kHost + " nft list table inet corvane"), 0);
    running.get();
    ASSERT_TRUE(topology()->control->start());
    ASSERT_TRUE(waitFor([] { return topology()->control->status() == platform::SessionStatus::connected; }));
    const auto record = topology()->control->records().at(index);
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

std::size_t entriesOf(const fs::path& folder) {
    std::error_code error;
    std::size_t count = 0;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) ++count;
    return count;
}

// A process's open descriptors, its pipe ends apart: each thread of the daemon
// keeps a bounded number of spare pipes for its next splice, so pipes held
// after a burst of flows are a leak only beyond that bound.
struct Descriptors {
    std::size_t pipeEnds = 0;
    std::size_t others = 0;
};

Descriptors openDescriptors(pid_t pid) {
    Descriptors open;
    std::error_code error;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end; !error && it != end;
         it.increment(error)) {
        std::error_code unreadable;
        const std::string target = fs::read_symlink(it->path(), unreadable).string();
        ++(target.starts_with("pipe:") ? open.pipeEnds : open.others);
    }
    return open;
}

std::string describe(const Descriptors& now, const Descriptors& before) {
    return std::to_string(now.others) + " open besides pipes (" + std::to_string(before.others) + " before), " +
           std::to_string(now.pipeEnds) + " pipe ends (" + std::to_string(before.pipeEnds) + " before)";
}

// The proxy dies in the middle of an upload. Stopped first, it reads nothing more and
// the daemon's writes queue in its receive buffer; killed then, its kernel closes a
// socket with unread data by a reset, not the FIN of an orderly end. The record fails,
// the application sees the reset, and the daemon serves new flows. The proxy is one
// that copies both ways at once (microsocks serves its client first and, fed at full
// speed, would never pass the echo back).
TEST_F(TunnelEndToEnd, KilledProxyMidTransferFailsItsRecordAndTheDaemonGoesOn) {
    const fs::path configuration = topology()->writeTinyproxyConfiguration("doomed", 1082);
    auto doomed = startInNet("tinyproxy -d -c " + configuration.string(), 1082);
    ASSERT_TRUE(doomed);
    const ProxyServer doomedProxy = proxy("doomed", ProxyProtocol::httpConnect, "10.203.0.2", 1082);
    run(profileWith({doomedProxy}, RuleAction::proxy(doomedProxy.id)));
    const std::size_t index = recordCount();
    // An upload of up to 15 s, its echo read meanwhile.
    auto running = std::async(std::launch::async, [] { return probe("tcp-stream", "198.18.0.10", 7, 15000); });
    auto current = [&] { return topology()->control->records().at(index); };
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

    run(profileWith({topology()->dante}, RuleAction::proxy(topology()->dante.id)));
    const std::size_t next = recordCount();
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 10).value("received", 0), 16 + 10);
    EXPECT_TRUE(waitForRecord(next, ConnectionStatus::closed));
}

// The daemon has no setting for its proxy connect time-out: this waits the default 10 s.
TEST_F(TunnelEndToEnd, SilentProxyTimesOutAndFailoverMovesOn) {
    auto silent = startInNet(topology()->probeProgram.string() + " silent 1083", 1083);
    ASSERT_TRUE(silent);
    const ProxyServer silentProxy = proxy("silent", ProxyProtocol::socks5, "10.203.0.2", 1083);
    const ProxyServer& dante = topology()->dante;
    run(profileWith({silentProxy, dante}, RuleAction::failover({silentProxy.id, dante.id})));
    const std::size_t index = recordCount();
    const std::string out = capture(std::string("ip netns exec ") + kHost + " " + topology()->probeProgram.string() +
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
    profile.rules = {blockingTheProbe(topology()->probeProgram)};
    run(profile);
    const std::string peer = std::string("ip netns exec ") + kHost + " " + topology()->probeProgram.string();
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
    profile.proxies = {topology()->dante};
    Rule viaDante;
    viaDante.id = UUID::random();
    viaDante.name = "curl via dante";
    viaDante.applications = {"curl"};
    viaDante.hosts = {"198.18.0.11/32"};
    viaDante.action = RuleAction::proxy(topology()->dante.id);
    profile.rules = {blockingTheProbe(topology()->probeProgram), viaDante};
    run(profile);
    const std::string port = std::to_string(42000 + ::getpid() % 1000);
    const std::string inHost = std::string("ip netns exec ") + kHost + " ";
    EXPECT_EQ(capture(inHost + topology()->probeProgram.string() + " tcp-from " + port + " 198.18.0.10 7"),
              "{\"reached\":false}\n");
    const std::string out = capture(inHost + "curl --http0.9 -s -m 2 --local-port " + port + " http://198.18.0.11:7/");
    EXPECT_EQ(out.substr(0, out.find('\n')), "peer=10.203.0.2") << out;
}

// Near the end: it fills the daemon's kept records.
TEST_F(TunnelEndToEnd, YThousandConcurrentFlowsArriveIntactAndReleaseTheirDescriptors) {
    run(profileWith({topology()->dante}, RuleAction::proxy(topology()->dante.id)));
    const pid_t daemon = topology()->daemon->pid();
    const Descriptors baseline = openDescriptors(daemon);
    constexpr int kBatches = 5;
    constexpr int kFlows = 200;
    constexpr std::size_t kBytes = 4096;
    for (int batch = 0; batch < kBatches; ++batch) {
        const std::string out = capture(std::string("ip netns exec ") + kHost + " " + topology()->probeProgram.string() +
                                        " tcp-burst 198.18.0.10 7 " + std::to_string(kFlows) + " " +
                                        std::to_string(kBytes));
        EXPECT_EQ(out, "{\"flows\":200,\"verified\":200}\n") << "batch " << batch;
    }
    std::vector<ConnectionRecord> kept;
    EXPECT_TRUE(waitFor([&] {
        kept = topology()->control->records();
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
    // Every socket of the flows is closed; pipes stay only as each thread's spares.
    const std::size_t threads = entriesOf("/proc/" + std::to_string(daemon) + "/task");
    const std::size_t spareBound = baseline.pipeEnds + 2 * platform::Pipe::kSparesPerThread * threads;
    EXPECT_TRUE(waitFor(
        [&] {
            const Descriptors now = openDescriptors(daemon);
            return now.others <= baseline.others && now.pipeEnds <= spareBound;
        },
        std::chrono::seconds(3)))
        << describe(openDescriptors(daemon), baseline) << "; spares explain at most " << spareBound << " pipe ends";
}

// Last: it ends the daemon.
TEST_F(TunnelEndToEnd, ZZKilledDaemonLeavesTheNetworkWorking) {
    run(profileWith({topology()->dante}, RuleAction::proxy(topology()->dante.id)));
    topology()->control.reset();
    topology()->daemon->stop(SIGKILL);
    EXPECT_TRUE(waitFor([] {
        return shell(std::string("ip netns exec ") + kHost + " nft list table inet corvane") != 0;
    }));
    EXPECT_EQ(probe("tcp-probe", "198.18.0.10", 7, 10).value("greeting", ""), "peer=10.203.0.1");

    // Its routing rule outlives it, matching nothing, until the next daemon starts.
    const auto divertRule = [] {
        return capture(std::string("ip -n ") + kHost + " rule list").find("fwmark 0x43560002") != std::string::npos;
    };
    EXPECT_TRUE(divertRule());
    topology()->startDaemon();
    EXPECT_TRUE(waitFor([&] { return !divertRule(); }));
}

}  // namespace
}  // namespace corvane
