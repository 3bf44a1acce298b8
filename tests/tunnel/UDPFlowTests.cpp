#include <gtest/gtest.h>

#include "Support/DNSResponse.hpp"
#include "Support/ProviderFixture.hpp"
#include "Support/Profiles.hpp"
#include "Support/ScriptedProxy.hpp"
#include "Support/UDPPeer.hpp"

namespace corvane::tunnel {
namespace {

using platform::Bytes;
using platform::HostEndpoint;
using platform::testing::FakeUDPFlow;
using testing::bytes;
using testing::ScriptedProxy;
using testing::UDPPeer;

// A destination the UDP profile sends through its proxy.
const HostEndpoint proxiedTarget{"198.18.0.10", "7"};

class UDPFlowTest : public testing::ProviderFixture {
public:
    std::shared_ptr<FakeUDPFlow> udpFlow(std::string identifier = "") {
        return std::make_shared<FakeUDPFlow>(context.get_executor(), platform::FlowMetaData{std::nullopt, identifier});
    }
    // Port 7 over UDP through `action`; everything else direct.
    Profile udpProfile(std::vector<ProxyServer> proxies, RuleAction action) {
        Profile profile;
        profile.proxies = std::move(proxies);
        profile.rules.push_back(testing::rule("UDP 7", std::move(action), {}, {TransportProtocol::udp}));
        profile.rules.back().ports = {PortRange{7, 7}};
        return profile;
    }
    // Starts the provider with port 7 over UDP through `socks` and hands it one
    // flow; null when the provider does not take the flow.
    std::shared_ptr<FakeUDPFlow> deliverThroughSocks(const ScriptedProxy& socks) {
        const ProxyServer s = testing::proxyServer("S", ProxyProtocol::socks5, socks.port());
        configure(udpProfile({s}, RuleAction::proxy(s.id)));
        start();
        auto flow = udpFlow();
        return deliver(flow) ? flow : nullptr;
    }
    std::vector<Bytes> payloads(const FakeUDPFlow& flow) const {
        std::vector<Bytes> out;
        for (const auto& [payload, sender] : flow.written()) out.push_back(payload);
        return out;
    }
};

TEST_F(UDPFlowTest, InterceptionFollowsTheProfile) {
    const ProxyServer s = testing::proxyServer("S", ProxyProtocol::socks5, 1080);
    Profile tcpOnly = testing::profileWith({s}, RuleAction::proxy(s.id));
    tcpOnly.rules.front().transports = {TransportProtocol::tcp};
    Profile udpBlock = testing::profileWith({}, RuleAction::block());
    udpBlock.rules.front().transports = {TransportProtocol::udp};
    struct Case {
        const char* name;
        Profile profile;
        std::string identifier;
        bool taken;
    };
    const Case cases[] = {
        {"no UDP proxy, the resolver", tcpOnly, "systemd-resolved", true},
        {"no UDP proxy, another program", tcpOnly, "curl", false},
        {"no UDP proxy, no identifier", tcpOnly, "", false},
        {"UDP proxy rule", udpProfile({s}, RuleAction::proxy(s.id)), "curl", true},
        {"UDP block rule", udpBlock, "curl", true},
    };
    for (const Case& c : cases) {
        configure(c.profile);
        start();
        EXPECT_EQ(deliver(udpFlow(c.identifier)), c.taken) << c.name;
    }
    EXPECT_TRUE(records().empty());
}

TEST_F(UDPFlowTest, BlockedDatagramsAreDropped) {
    UDPPeer peer;
    Profile profile = testing::profileWith({}, RuleAction::block());
    profile.rules.front().transports = {TransportProtocol::udp};
    configure(profile);
    start();
    auto flow = udpFlow("curl");
    ASSERT_TRUE(deliver(flow));
    flow->pushBatch({bytes("dropped")}, {HostEndpoint{"127.0.0.1", std::to_string(peer.port())}});
    runUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(peer.received(), 0u);
    EXPECT_TRUE(flow->written().empty());
}

TEST_F(UDPFlowTest, DatagramsQueuedBeforeTheAssociationArriveInOrder) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    auto flow = deliverThroughSocks(socks);
    ASSERT_TRUE(flow);
    flow->pushBatch({bytes("one"), bytes("two"), bytes("three")}, {proxiedTarget, proxiedTarget, proxiedTarget});
    platform::testing::runUntilIdle(context);

    auto kept = records();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].target, "198.18.0.10:7 (UDP)");
    EXPECT_EQ(kept[0].actionDescription, "Proxy: S");
    EXPECT_EQ(kept[0].appIdentifier, "?");
    EXPECT_EQ(kept[0].transport, TransportProtocol::udp);
    EXPECT_EQ(kept[0].ruleName, std::nullopt);
    EXPECT_EQ(kept[0].appPath, std::nullopt);
    EXPECT_EQ(kept[0].appIdentity, std::nullopt);
    EXPECT_EQ(kept[0].status, ConnectionStatus::active);

    ASSERT_TRUE(runUntil([&] { return flow->written().size() == 3; }));
    const auto arrived = socks.datagrams();
    ASSERT_EQ(arrived.size(), 3u);
    EXPECT_EQ(arrived[0].payload, bytes("one"));
    EXPECT_EQ(arrived[1].payload, bytes("two"));
    EXPECT_EQ(arrived[2].payload, bytes("three"));
    EXPECT_EQ(arrived[0].host, "198.18.0.10");
    EXPECT_EQ(arrived[0].port, 7);
    for (const auto& [payload, sender] : flow->written()) EXPECT_EQ(sender, platform::Endpoint(proxiedTarget));
    EXPECT_EQ(socks.associations(), 1u);

    flow->pushEnd();
    ASSERT_TRUE(runUntil([&] { return records()[0].status == ConnectionStatus::closed; }));
    EXPECT_EQ(records()[0].bytesSent, 11u);
    EXPECT_EQ(records()[0].bytesReceived, 11u);
    EXPECT_TRUE(flow->isClosed());
}

TEST_F(UDPFlowTest, FailoverSkipsHTTPProxiesButNamesTheFirst) {
    ScriptedProxy http(ScriptedProxy::Kind::http);
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    const ProxyServer h = testing::proxyServer("H", ProxyProtocol::httpConnect, http.port());
    const ProxyServer s = testing::proxyServer("S", ProxyProtocol::socks5, socks.port());
    configure(udpProfile({h, s}, RuleAction::failover({UUID::random(), h.id, s.id})));
    start();
    auto flow = udpFlow("dig");
    ASSERT_TRUE(deliver(flow));
    flow->pushBatch({bytes("hello")}, {proxiedTarget});
    ASSERT_TRUE(runUntil([&] { return flow->written().size() == 1; }));
    EXPECT_EQ(records().at(0).actionDescription, "Proxy: H (failover)");
    EXPECT_EQ(records().at(0).appIdentifier, "dig");
    EXPECT_EQ(socks.datagrams().size(), 1u);
    EXPECT_TRUE(http.targets().empty());
}

TEST_F(UDPFlowTest, FailedAssociationsDropTheQueueAndTheNextDatagramTriesAgain) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    socks.refuseAssociations();
    auto flow = deliverThroughSocks(socks);
    ASSERT_TRUE(flow);
    flow->pushBatch({bytes("a"), bytes("b")}, {proxiedTarget, proxiedTarget});
    ASSERT_TRUE(runUntil([&] { return socks.associationRequests() == 1; }));
    runUntil([] { return false; }, std::chrono::milliseconds(30));
    flow->pushBatch({bytes("c")}, {proxiedTarget});
    ASSERT_TRUE(runUntil([&] { return socks.associationRequests() == 2; }));
    // Proxied bytes count even when they never reach the proxy.
    EXPECT_EQ(records().at(0).bytesSent, 3u);
    EXPECT_TRUE(flow->written().empty());
}

TEST_F(UDPFlowTest, DirectDatagramsShareOneSocketPerDestination) {
    UDPPeer first;
    UDPPeer second;
    configure(Profile{});
    auto flow = udpFlow("systemd-resolved");
    start();
    ASSERT_TRUE(deliver(flow));
    const HostEndpoint a{"127.0.0.1", std::to_string(first.port())};
    const HostEndpoint b{"127.0.0.1", std::to_string(second.port())};
    flow->pushBatch({bytes("1"), bytes("2"), bytes("3")}, {a, a, b});
    ASSERT_TRUE(runUntil([&] { return flow->written().size() == 3; }));
    EXPECT_EQ(host.preparedSockets().size(), 2u);
    EXPECT_EQ(first.received(), 2u);
    std::size_t fromA = 0;
    for (const auto& [payload, sender] : flow->written()) fromA += sender == platform::Endpoint(a);
    EXPECT_EQ(fromA, 2u);
    EXPECT_TRUE(records().empty());
}

TEST_F(UDPFlowTest, EmptyRepliesAndReceiveErrorsDoNotSilenceADestination) {
    UDPPeer peer({"", "pong"});
    configure(Profile{});
    start();
    auto flow = udpFlow("systemd-resolved");
    ASSERT_TRUE(deliver(flow));
    const HostEndpoint destination{"127.0.0.1", std::to_string(peer.port())};
    flow->pushBatch({bytes("ping")}, {destination});
    ASSERT_TRUE(runUntil([&] { return flow->written().size() == 2; }));
    EXPECT_EQ(payloads(*flow), (std::vector<Bytes>{Bytes{}, bytes("pong")}));

    // A closed port answers with an ICMP error; the next datagram opens a new socket.
    const HostEndpoint closed{"127.0.0.1", std::to_string(ScriptedProxy::closedPort())};
    flow->pushBatch({bytes("x")}, {closed});
    runUntil([] { return false; }, std::chrono::milliseconds(50));
    const std::size_t sockets = host.preparedSockets().size();
    flow->pushBatch({bytes("y")}, {closed});
    ASSERT_TRUE(runUntil([&] { return host.preparedSockets().size() == sockets + 1; }));
}

TEST_F(UDPFlowTest, AssociationsSurviveBadDatagramsAndComeBackAfterTheProxyEndsThem) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    socks.sendFragmentBeforeEcho();
    auto flow = deliverThroughSocks(socks);
    ASSERT_TRUE(flow);
    flow->pushBatch({bytes("first")}, {proxiedTarget});
    ASSERT_TRUE(runUntil([&] { return flow->written().size() == 1; }));
    flow->pushBatch({bytes("second")}, {proxiedTarget});
    ASSERT_TRUE(runUntil([&] { return flow->written().size() == 2; }));
    EXPECT_EQ(socks.associations(), 1u);

    socks.endAssociations();
    runUntil([] { return false; }, std::chrono::milliseconds(50));
    flow->pushBatch({bytes("third")}, {proxiedTarget});
    ASSERT_TRUE(runUntil([&] { return flow->written().size() == 3; }));
    EXPECT_EQ(socks.associations(), 2u);
    EXPECT_EQ(payloads(*flow).back(), bytes("third"));
}

TEST_F(UDPFlowTest, ARelayKeepsTheRulesItStartedWith) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    UDPPeer peer;
    const ProxyServer s = testing::proxyServer("S", ProxyProtocol::socks5, socks.port());
    Profile profile = testing::profileWith({s}, RuleAction::proxy(s.id));
    configure(profile);
    start();
    auto flow = udpFlow();
    ASSERT_TRUE(deliver(flow));
    configure(Profile{});
    auto reload = host.appMessage(bytes("{\"kind\":\"reloadProfile\"}"));
    platform::testing::runUntilIdle(context);
    flow->pushBatch({bytes("still proxied")}, {HostEndpoint{"127.0.0.1", std::to_string(peer.port())}});
    ASSERT_TRUE(runUntil([&] { return socks.datagrams().size() == 1; }));
    EXPECT_EQ(peer.received(), 0u);
}

TEST_F(UDPFlowTest, DatagramsRoutedWhileTheRelayEndsLeaveNothingBehind) {
    UDPPeer peer;
    const ProxyServer s = testing::proxyServer("S", ProxyProtocol::socks5, ScriptedProxy::closedPort());
    auto flow = udpFlow();
    int proxied = 0;
    int prepared = 0;
    auto relay = std::make_shared<UDPFlowRelay>(UDPFlowRelay::Settings{
        flow, std::make_shared<const RuleEngine>(udpProfile({s}, RuleAction::proxy(s.id))), UDPInterception::routed,
        "", std::make_shared<HostnameCache>(16, 60, 3600), context.get_executor(), clock.clock(),
        [&](int) {
            ++prepared;
            return platform::Error{};
        },
        [&](const std::string&, const std::string&) { ++proxied; }, [](std::uint64_t, std::uint64_t) {}});
    relay->start();
    platform::testing::runUntilIdle(context);
    // The batch is already on its way to the relay when the relay finishes.
    flow->pushBatch({bytes("proxied"), bytes("direct")},
                    {proxiedTarget, HostEndpoint{"127.0.0.1", std::to_string(peer.port())}});
    relay->finish();
    platform::testing::runUntilIdle(context);
    EXPECT_EQ(proxied, 0);
    EXPECT_EQ(prepared, 0);
    EXPECT_EQ(relay->counters().bytesSent, 0u);
}

TEST_F(UDPFlowTest, StopDuringAnAssociationSetUpClosesTheRecordAndTheAssociation) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    socks.holdAssociationReplies();
    auto flow = deliverThroughSocks(socks);
    ASSERT_TRUE(flow);
    flow->pushBatch({bytes("queued")}, {proxiedTarget});
    ASSERT_TRUE(runUntil([&] { return socks.associationRequests() == 1; }));
    ASSERT_EQ(records().size(), 1u);
    provider->stopProxy([] {});
    EXPECT_EQ(records()[0].status, ConnectionStatus::closed);
    EXPECT_EQ(records()[0].bytesSent, 6u);
    EXPECT_TRUE(flow->isClosed());

    // The reply that arrives after the stop must not release the queued datagram.
    socks.releaseAssociationReplies();
    runUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(socks.associations(), 1u);
    EXPECT_TRUE(socks.datagrams().empty());
}

TEST_F(UDPFlowTest, DNSAnswersThroughAnAssociationNameLaterTCPFlows) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    const ProxyServer s = testing::proxyServer("S", ProxyProtocol::socks5, socks.port());
    Profile profile = testing::profileWith({s}, RuleAction::proxy(s.id), "Target");
    profile.rules.front().hosts = {"*.target.test"};
    profile.defaultAction = RuleAction::proxy(s.id);
    configure(profile);
    start();
    const platform::FlowMetaData user{testing::auditToken(77, 1000), ""};
    auto flow = std::make_shared<FakeUDPFlow>(context.get_executor(), user);
    ASSERT_TRUE(deliver(flow));
    const testing::DNSQuestion question{0x4242, "www.target.test"};
    socks.answerDatagramsWith({{"10.0.0.53", 53, testing::dnsAnswer(question, {198, 18, 0, 10})}});
    flow->pushBatch({testing::dnsQuery(question)}, {HostEndpoint{"10.0.0.53", "53"}});
    ASSERT_TRUE(runUntil([&] { return flow->written().size() == 1; }));
    EXPECT_EQ(provider->hostnameCache().hostname(*IPAddressValue::fromString("198.18.0.10"), 1000, clock.now()),
              "www.target.test");

    log->clear();
    auto tcp = tcpFlow("198.18.0.10", "7", user);
    EXPECT_TRUE(deliver(tcp));
    EXPECT_EQ(lines().front(),
              "TCP ? [signature unverified] → host=www.target.test (via DNS) addr=198.18.0.10:7 ⇒ PROXY(S) via Target");
    ASSERT_TRUE(runUntil([&] { return socks.targets().size() == 1; }));
    // The learnt name goes to the proxy as a name.
    EXPECT_EQ(socks.targets().front(), "www.target.test:7");
    EXPECT_EQ(records().back().target, "www.target.test:7");
}

}  // namespace
}  // namespace corvane::tunnel
