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
using testing::DNSQuestion;
using testing::ScriptedProxy;
using testing::UDPPeer;
using testing::bytes;
using testing::dnsAnswer;
using testing::dnsQuery;

// The user running a flow's program; none when its owner was not found.
using User = std::optional<std::uint32_t>;
constexpr std::uint32_t kAlice = 1001;
constexpr std::uint32_t kBob = 1002;

const HostEndpoint kResolver{"10.0.0.53", "53"};
const DNSQuestion kWWW{0x4242, "www.target.test"};
const std::string kLearnt = "www.target.test (via DNS)";

ScriptedProxy::Datagram from(const HostEndpoint& server, Bytes payload) {
    return {server.hostname, static_cast<std::uint16_t>(std::stoi(server.port)), std::move(payload)};
}

// UDP to loopback goes direct and all other UDP through a scripted SOCKS5 proxy,
// whose relay plays the DNS servers; TCP goes direct, and its log line shows the
// name each flow is matched by.
class UDPFlowDNSTest : public testing::ProviderFixture {
public:
    void SetUp() override {
        ProviderFixture::SetUp();
        const ProxyServer s = testing::proxyServer("S", ProxyProtocol::socks5, socks.port());
        Profile profile;
        profile.proxies = {s};
        profile.rules = {testing::rule("Loopback", RuleAction::direct(), {"127.0.0.0/8"}, {TransportProtocol::udp}),
                         testing::rule("UDP", RuleAction::proxy(s.id), {}, {TransportProtocol::udp})};
        configure(profile);
        start();
    }

    static platform::FlowMetaData metaData(User user) {
        if (!user) return {};
        return {testing::auditToken(static_cast<std::int32_t>(4000 + *user), *user), ""};
    }

    // A flow of `user` sends `datagram` to `server` and gets `replies` back.
    void exchange(User user, Bytes datagram, const HostEndpoint& server, std::size_t replies) {
        auto flow = std::make_shared<FakeUDPFlow>(context.get_executor(), metaData(user));
        ASSERT_TRUE(deliver(flow));
        flow->pushBatch({std::move(datagram)}, {server});
        ASSERT_TRUE(runUntil([&] { return flow->written().size() == replies; }));
        flow->pushEnd();
        platform::testing::runUntilIdle(context);
    }

    // The host name a TCP flow of `user` to 198.18.0.10 is matched by, as logged.
    std::string hostSeenBy(User user) {
        log->clear();
        EXPECT_FALSE(deliver(tcpFlow("198.18.0.10", "7", metaData(user))));
        const std::string line = lines().empty() ? "" : lines().front();
        const std::size_t start = line.find("host=");
        const std::size_t end = line.find(" addr=");
        if (start == std::string::npos || end == std::string::npos) return line;
        return line.substr(start + 5, end - start - 5);
    }

    ScriptedProxy socks{ScriptedProxy::Kind::socks5};
};

TEST_F(UDPFlowDNSTest, AnAnswerTeachesOnlyTheUserWhoseFlowAskedThatServerThatQuestion) {
    const Bytes query = dnsQuery(kWWW);
    const Bytes answer = dnsAnswer(kWWW, {198, 18, 0, 10});
    const DNSQuestion literal{0x4242, "198.18.0.66"};
    struct Case {
        const char* name;
        User teacher;
        Bytes sent;
        std::vector<ScriptedProxy::Datagram> replies;
        User asker;
        std::string seen;
    };
    const Case cases[] = {
        {"the answer to the flow's query", kAlice, query, {from(kResolver, answer)}, kAlice, kLearnt},
        {"another transaction id", kAlice, query,
         {from(kResolver, dnsAnswer({0x4243, kWWW.name}, {198, 18, 0, 10}))}, kAlice, "(none)"},
        {"another question name", kAlice, query,
         {from(kResolver, dnsAnswer({kWWW.id, "evil.target.test"}, {198, 18, 0, 10}))}, kAlice, "(none)"},
        {"another question type", kAlice, dnsQuery({kWWW.id, kWWW.name, 28}), {from(kResolver, answer)}, kAlice,
         "(none)"},
        {"another server", kAlice, query, {from({"10.0.0.54", "53"}, answer)}, kAlice, "(none)"},
        {"no query", kAlice, bytes("not a query"), {from(kResolver, answer)}, kAlice, "(none)"},
        {"a second answer to one query", kAlice, query,
         {from(kResolver, dnsAnswer(kWWW, {198, 18, 0, 11})), from(kResolver, answer)}, kAlice, "(none)"},
        {"an address asked for as a name", kAlice, dnsQuery(literal),
         {from(kResolver, dnsAnswer(literal, {198, 18, 0, 10}))}, kAlice, "(none)"},
        {"an address as the answer's owner", kAlice, query,
         {from(kResolver, dnsAnswer(kWWW, {198, 18, 0, 10}, 300, "198.18.0.66"))}, kAlice, kLearnt},
        {"another user's flow", kAlice, query, {from(kResolver, answer)}, kBob, "(none)"},
        {"a flow of no known user asked", std::nullopt, query, {from(kResolver, answer)}, kAlice, "(none)"},
        {"a flow of no known user connects", kAlice, query, {from(kResolver, answer)}, std::nullopt, "(none)"},
    };
    for (const Case& c : cases) {
        provider->hostnameCache().removeAll();
        socks.answerDatagramsWith(c.replies);
        exchange(c.teacher, c.sent, kResolver, c.replies.size());
        EXPECT_EQ(hostSeenBy(c.asker), c.seen) << c.name;
    }
}

// The direct path needs a DNS server on port 53, which only root may bind.
TEST_F(UDPFlowDNSTest, DirectAnswersTeachOnlyWhenTheyAnswerTheFlowsQuery) {
    const int pid = ::getpid();
    const auto server = asio::ip::make_address_v4(
        asio::ip::address_v4::bytes_type{127, 53, static_cast<std::uint8_t>(pid >> 8), static_cast<std::uint8_t>(pid)});
    struct Case {
        const char* name;
        Bytes reply;
        std::string seen;
    };
    const Case cases[] = {
        {"the answer", dnsAnswer(kWWW, {198, 18, 0, 10}), kLearnt},
        {"another transaction id", dnsAnswer({0x4243, kWWW.name}, {198, 18, 0, 10}), "(none)"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<UDPPeer> peer;
        try {
            peer = std::make_unique<UDPPeer>(std::vector<std::string>{std::string(c.reply.begin(), c.reply.end())},
                                             server, 53);
        } catch (const std::system_error& error) {
            GTEST_SKIP() << "a DNS server on " << server.to_string() << ":53 needs root (" << error.what() << ")";
        }
        provider->hostnameCache().removeAll();
        exchange(kAlice, dnsQuery(kWWW), HostEndpoint{server.to_string(), "53"}, 1);
        EXPECT_EQ(hostSeenBy(kAlice), c.seen) << c.name;
    }
}

}  // namespace
}  // namespace corvane::tunnel
