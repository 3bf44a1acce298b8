#include <algorithm>
#include <cerrno>

#include <gtest/gtest.h>

#include "CorvaneCore/DNS/DNSMessage.hpp"
#include "CorvaneCore/Proxy/SOCKS5ProtocolError.hpp"
#include "Support/DNSResponse.hpp"
#include "Support/ProviderFixture.hpp"
#include "Support/Profiles.hpp"
#include "Support/ScriptedProxy.hpp"

namespace corvane::tunnel {
namespace {

using platform::testing::FakeTCPFlow;
using testing::bytes;
using testing::ScriptedProxy;

class FlowDispatchTest : public testing::ProviderFixture {
public:

    // The log lines written after the profile was applied.
    std::vector<std::string> flowLines() const {
        std::vector<std::string> out;
        for (const std::string& line : lines()) {
            if (line.rfind("Profile from", 0) != 0 && line.rfind("  active rule", 0) != 0) out.push_back(line);
        }
        return out;
    }

    std::shared_ptr<FakeTCPFlow> echoThrough(const Profile& profile) {
        configure(profile);
        start();
        auto flow = tcpFlow("198.18.0.10", "7");
        EXPECT_TRUE(deliver(flow));
        flow->pushData(bytes("ping"));
        EXPECT_TRUE(runUntil([&] { return flow->written().size() == 4; }));
        return flow;
    }
};

TEST_F(FlowDispatchTest, UnreadableEndpointsAreDeclinedSilently) {
    configure(testing::profileWith({}, RuleAction::block()));
    start();
    log->clear();
    auto other = std::make_shared<FakeTCPFlow>(context.get_executor(), std::monostate{});
    EXPECT_FALSE(deliver(other));
    for (const char* port : {"", "65536", "-1", " 80", "0x50", "80 "}) {
        EXPECT_FALSE(deliver(tcpFlow("198.18.0.10", port))) << port;
    }
    EXPECT_TRUE(lines().empty());
    EXPECT_TRUE(records().empty());
}

TEST_F(FlowDispatchTest, EachFlowIsLoggedInOneLine) {
    configure(Profile::makeDefault());
    start();
    const IPAddressValue target = *IPAddressValue::fromString("198.18.0.10");
    // Learnt for the user of the program with pid 43.
    provider->hostnameCache().absorb(DNSMessage::parse(testing::dnsResponse("www.target.test", {198, 18, 0, 10}, 300)),
                                     1000, clock.now());
    signing.script(testing::auditToken(42), {});
    struct Case {
        std::string host;
        std::string port;
        std::optional<std::string> remoteHostname;
        platform::FlowMetaData metaData;
        std::string line;
    };
    const Case cases[] = {
        {"198.18.0.11", "7", std::nullopt, {},
         "TCP ? [signature unverified] → host=(none) addr=198.18.0.11:7 ⇒ DIRECT via default"},
        {"198.18.0.10", "+80", std::nullopt, {testing::auditToken(43, 1000), ""},
         "TCP ? [signature unverified] → host=www.target.test (via DNS) addr=198.18.0.10:80 ⇒ DIRECT via default"},
        {"198.18.0.10", "0", "www.example.org", {},
         "TCP ? [signature unverified] → host=www.example.org addr=198.18.0.10:0 ⇒ DIRECT via default"},
        {"svc.example.org", "443", std::nullopt, {platform::Bytes(testing::auditToken(42)), "curl"},
         "TCP curl → host=svc.example.org addr=(none):443 ⇒ DIRECT via default"},
        {"10.1.2.3", "22", std::nullopt, {std::nullopt, "firefox-esr"},
         "TCP firefox-esr [signature unverified] → host=(none) addr=10.1.2.3:22 ⇒ DIRECT via Local & private networks"},
        // A zoned link-local address is still an address: the fe80::/10 rule applies.
        {"fe80::1%eth0", "443", std::nullopt, {},
         "TCP ? [signature unverified] → host=(none) addr=fe80::1:443 ⇒ DIRECT via Local & private networks"},
    };
    for (const Case& c : cases) {
        log->clear();
        auto flow = tcpFlow(c.host, c.port, c.metaData);
        flow->setRemoteHostname(c.remoteHostname);
        EXPECT_FALSE(deliver(flow));
        EXPECT_EQ(lines(), std::vector<std::string>{c.line});
    }
    EXPECT_TRUE(records().empty());
    (void)target;
}

TEST_F(FlowDispatchTest, BlockRecordsAndRefusesBothSidesWhateverTheOpenGives) {
    configure(testing::profileWith({}, RuleAction::block(), "No SSH"));
    start();
    paths.setPath(42, "/usr/bin/ssh");
    signing.script(testing::auditToken(42), {});
    for (platform::Error openError : {platform::Error{}, platform::posixError(EIO)}) {
        auto flow = tcpFlow("198.18.0.10", "22", {testing::auditToken(42), "ssh"});
        flow->failOpenWith(openError);
        EXPECT_TRUE(deliver(flow));
        EXPECT_EQ(flow->closes(),
                  (std::vector<std::string>{"closeRead(ECONNREFUSED)", "closeWrite(ECONNREFUSED)"}));
    }
    const auto kept = records();
    ASSERT_EQ(kept.size(), 2u);
    const ConnectionRecord& record = kept.front();
    EXPECT_EQ(record.actionDescription, "Block");
    EXPECT_EQ(record.status, ConnectionStatus::blocked);
    EXPECT_EQ(record.ruleName, "No SSH");
    EXPECT_EQ(record.target, "198.18.0.10:22");
    EXPECT_EQ(record.appIdentifier, "ssh");
    EXPECT_EQ(record.appPath, "/usr/bin/ssh");
    EXPECT_EQ(record.appIdentity, (CodeIdentity{true, std::nullopt, false}));
    EXPECT_EQ(record.startedAt, clock.now());
    EXPECT_EQ(record.bytesSent + record.bytesReceived, 0u);
    EXPECT_EQ(flowLines().back(), "TCP ssh → host=(none) addr=198.18.0.10:22 ⇒ BLOCK via No SSH");
}

TEST_F(FlowDispatchTest, ProxiedActionsHaveTheirLogAndRecordTexts) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    ScriptedProxy http(ScriptedProxy::Kind::http);
    const ProxyServer a = testing::proxyServer("A", ProxyProtocol::socks5, socks.port());
    const ProxyServer b = testing::proxyServer("B", ProxyProtocol::httpConnect, http.port());
    const ProxyServer dead = testing::proxyServer("Dead", ProxyProtocol::socks5, ScriptedProxy::closedPort());
    struct Case {
        RuleAction action;
        std::string logText;
        std::string recordText;
    };
    const Case cases[] = {
        {RuleAction::proxy(a.id), "PROXY(A)", "Proxy: A"},
        {RuleAction::chain({a.id}), "CHAIN(A)", "Proxy: A"},
        {RuleAction::chain({a.id, b.id}), "CHAIN(A→B)", "Chain: A → B"},
        {RuleAction::failover({dead.id, a.id, b.id}), "FAILOVER(Dead|A|B)", "Failover: A"},
    };
    for (const Case& c : cases) {
        log->clear();
        auto flow = echoThrough(testing::profileWith({a, b, dead}, c.action));
        EXPECT_EQ(flow->written(), bytes("ping"));
        EXPECT_EQ(flowLines().front(),
                  "TCP ? [signature unverified] → host=(none) addr=198.18.0.10:7 ⇒ " + c.logText + " via Everything");
        EXPECT_EQ(records().back().actionDescription, c.recordText);
        EXPECT_EQ(records().back().status, ConnectionStatus::active);
        flow->pushEOF();
        ASSERT_TRUE(runUntil([&] { return records().back().status != ConnectionStatus::active; }));
        EXPECT_EQ(records().back().status, ConnectionStatus::closed);
        EXPECT_EQ(records().back().bytesSent, 4u);
        EXPECT_EQ(records().back().bytesReceived, 4u);
    }
    EXPECT_EQ(socks.targets(), (std::vector<std::string>{"198.18.0.10:7", "198.18.0.10:7",
                                                         "127.0.0.1:" + std::to_string(http.port()), "198.18.0.10:7"}));
    EXPECT_EQ(http.targets(), std::vector<std::string>{"198.18.0.10:7"});
    EXPECT_EQ(flowLines().at(1), "Failover: Dead did not answer (Connection refused — nothing is listening on that port.)");
}

TEST_F(FlowDispatchTest, FailoverRecordNamesTheTriedCountUntilAProxyAnswers) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    const ProxyServer a = testing::proxyServer("A", ProxyProtocol::socks5, ScriptedProxy::closedPort());
    const ProxyServer b = testing::proxyServer("B", ProxyProtocol::socks5, socks.port());
    const ProxyServer c = testing::proxyServer("C", ProxyProtocol::socks5, socks.port());
    configure(testing::profileWith({a, b, c}, RuleAction::failover({a.id, b.id, c.id})));
    start();
    auto flow = tcpFlow("198.18.0.10", "7");
    flow->holdOpen();
    EXPECT_TRUE(deliver(flow));
    EXPECT_EQ(records().back().actionDescription, "Failover: trying 3 proxies");
    flow->completeOpen();
    ASSERT_TRUE(runUntil([&] { return records().back().actionDescription != "Failover: trying 3 proxies"; }));
    EXPECT_EQ(records().back().actionDescription, "Failover: B");
}

TEST_F(FlowDispatchTest, MissingProxiesPassTheFlowThrough) {
    const ProxyServer a = testing::proxyServer("A", ProxyProtocol::socks5, 1080);
    struct Case {
        RuleAction action;
        std::string logText;
    };
    const Case cases[] = {
        {RuleAction::chain({a.id, UUID::random()}), "CHAIN(A→missing)"},
        {RuleAction::proxy(UUID::random()), "PROXY(missing)"},
        {RuleAction::failover({}), "FAILOVER()"},
        {RuleAction::chain({}), "CHAIN()"},
    };
    for (const Case& c : cases) {
        configure(testing::profileWith({a}, c.action));
        start();
        log->clear();
        EXPECT_FALSE(deliver(tcpFlow("198.18.0.10", "7")));
        EXPECT_EQ(lines(), (std::vector<std::string>{
                               "TCP ? [signature unverified] → host=(none) addr=198.18.0.10:7 ⇒ " + c.logText +
                                   " via Everything",
                               "Rule references a missing proxy; passing through"}));
    }
    EXPECT_TRUE(records().empty());
}

TEST_F(FlowDispatchTest, SetupFailureClosesTheFlowWithTheErrorAndFailsTheRecord) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    socks.refuseConnects();
    const ProxyServer a = testing::proxyServer("A", ProxyProtocol::socks5, socks.port());
    configure(testing::profileWith({a}, RuleAction::proxy(a.id)));
    start();

    auto refused = tcpFlow("198.18.0.10", "7");
    EXPECT_TRUE(deliver(refused));
    ASSERT_TRUE(runUntil([&] { return refused->isClosed(); }));
    const std::string reason = SOCKS5::ProtocolError::connectFailed(5).what();
    EXPECT_EQ(log->lines().back(), "Relay setup to 198.18.0.10:7 failed: <private>");
    EXPECT_EQ(log->revealedLines().back(), "Relay setup to 198.18.0.10:7 failed: " + reason);
    EXPECT_EQ(refused->closes(), (std::vector<std::string>{"closeRead(ECONNABORTED)", "closeWrite(ECONNABORTED)"}));

    auto unopened = tcpFlow("198.18.0.10", "7");
    unopened->failOpenWith(platform::posixError(EIO));
    EXPECT_TRUE(deliver(unopened));
    ASSERT_TRUE(runUntil([&] { return unopened->isClosed(); }));
    EXPECT_EQ(log->revealedLines().back(), "Relay setup to 198.18.0.10:7 failed: Input/output error");
    EXPECT_EQ(unopened->closes(), (std::vector<std::string>{"closeRead(EIO)", "closeWrite(EIO)"}));

    for (const ConnectionRecord& record : records()) {
        EXPECT_EQ(record.status, ConnectionStatus::failed);
        EXPECT_EQ(record.bytesSent + record.bytesReceived, 0u);
    }
}

TEST_F(FlowDispatchTest, LiveCountersShowMidTransferAndFinalCountsStay) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    const ProxyServer a = testing::proxyServer("A", ProxyProtocol::socks5, socks.port());
    auto flow = echoThrough(testing::profileWith({a}, RuleAction::proxy(a.id)));
    flow->pushData(bytes("more data"));
    ASSERT_TRUE(runUntil([&] { return flow->written().size() == 13; }));
    EXPECT_EQ(records().back().bytesSent, 13u);
    EXPECT_EQ(records().back().bytesReceived, 13u);
    EXPECT_EQ(records().back().status, ConnectionStatus::active);

    flow->pushError(asio::error::connection_reset);
    ASSERT_TRUE(runUntil([&] { return records().back().status != ConnectionStatus::active; }));
    EXPECT_EQ(records().back().status, ConnectionStatus::failed);
    EXPECT_EQ(records().back().bytesSent, 13u);
    EXPECT_EQ(records().back().bytesReceived, 13u);
}

// The limit makes room from the ended records, oldest first: a relay that outlives
// 600 short flows keeps its record, its live counts and its close, and the newest
// 499 ended records stay in order.
TEST_F(FlowDispatchTest, RunningRecordOutlivesMoreThan500EndedOnes) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    const ProxyServer a = testing::proxyServer("A", ProxyProtocol::socks5, socks.port());
    Profile profile = testing::profileWith({a}, RuleAction::block(), "Block 22");
    profile.rules.front().ports = {PortRange{22, 22}};
    profile.defaultAction = RuleAction::proxy(a.id);
    auto relayed = echoThrough(profile);
    const ConnectionRecord running = records().front();
    for (int i = 0; i < 600; ++i) {
        clock.advance(1);
        deliver(tcpFlow("198.18.0.10", "22"));
    }
    const Date newest = clock.now();
    relayed->pushData(bytes("more data"));
    ASSERT_TRUE(runUntil([&] { return relayed->written().size() == 13; }));

    auto kept = records();
    ASSERT_EQ(kept.size(), 500u);
    EXPECT_EQ(kept.front().id, running.id);
    EXPECT_EQ(kept.front().status, ConnectionStatus::active);
    EXPECT_EQ(kept.front().bytesSent, 13u);
    EXPECT_EQ(kept.front().bytesReceived, 13u);
    for (std::size_t i = 1; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i].status, ConnectionStatus::blocked) << i;
        EXPECT_EQ(kept[i].startedAt, newest.addingTimeInterval(-static_cast<double>(kept.size() - 1 - i))) << i;
    }

    relayed->pushEOF();
    ASSERT_TRUE(runUntil([&] { return records().front().status == ConnectionStatus::closed; }));
    EXPECT_EQ(records().front().id, running.id);
    EXPECT_EQ(records().front().bytesSent, 13u);
    EXPECT_EQ(records().size(), 500u);
}

// Only when all 500 still run does the oldest running record go; it is gone, and its
// relay's later close changes nothing.
TEST_F(FlowDispatchTest, WhenAllAreRunningTheOldestGoesAndItsCloseFindsNothing) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    const ProxyServer a = testing::proxyServer("A", ProxyProtocol::socks5, socks.port());
    auto relayed = echoThrough(testing::profileWith({a}, RuleAction::proxy(a.id)));
    const UUID first = records().front().id;
    std::vector<std::shared_ptr<FakeTCPFlow>> opening;
    for (int i = 0; i < 500; ++i) {
        opening.push_back(tcpFlow("198.18.0.10", "7"));
        opening.back()->holdOpen();
        deliver(opening.back());
    }
    const auto allOpening = [&] {
        const auto kept = records();
        return kept.size() == 500u && std::none_of(kept.begin(), kept.end(), [&](const ConnectionRecord& record) {
                   return record.id == first || record.status != ConnectionStatus::active;
               });
    };
    EXPECT_TRUE(allOpening());
    relayed->pushEOF();
    ASSERT_TRUE(runUntil([&] { return relayed->isClosed(); }));
    EXPECT_TRUE(allOpening());

    for (const auto& flow : opening) flow->completeOpen(platform::posixError(ECONNABORTED));
    ASSERT_TRUE(runUntil([&] { return records().back().status == ConnectionStatus::failed; }));
}

}  // namespace
}  // namespace corvane::tunnel
