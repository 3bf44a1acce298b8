#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/use_awaitable.hpp>
#include <gtest/gtest.h>

#include "platform/AppProxyTCPFlow.hpp"
#include "platform/AppProxyUDPFlow.hpp"
#include "platform/OpenAsync.hpp"
#include "platform/TransparentProxyProvider.hpp"
#include "platform/testing/EventLoop.hpp"
#include "platform/testing/FakeProviderHost.hpp"
#include "platform/testing/FakeTCPFlow.hpp"
#include "platform/testing/FakeUDPFlow.hpp"

namespace corvane::platform {
namespace {

using testing::FakeProviderHost;
using testing::FakeTCPFlow;
using testing::FakeUDPFlow;
using testing::runUntilIdle;

Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A tiny provider: TCP port 7 is echoed, port 9 is blocked, anything else declined;
// UDP is echoed as sent by the destination. Messages are answered with their bytes
// reversed, an empty message with no data.
class EchoProvider : public TransparentProxyProvider,
                     public std::enable_shared_from_this<EchoProvider> {
public:
    using TransparentProxyProvider::TransparentProxyProvider;

    void startProxy(StartHandler done) override {
        NetworkRule tcp;
        tcp.protocol = NetworkRule::Protocol::tcp;
        TransparentProxyNetworkSettings settings{"127.0.0.1", {tcp}, {}};
        setTunnelNetworkSettings(settings, [done](std::optional<Failure> failure) { done(failure); });
    }
    void stopProxy(StopHandler done) override { done(); }

    bool handleNewFlow(std::shared_ptr<AppProxyFlow> flow) override {
        if (auto udp = std::dynamic_pointer_cast<AppProxyUDPFlow>(flow)) {
            udp->open([udp](Error error) { if (!error) echoDatagrams(udp); });
            return true;
        }
        auto tcp = std::dynamic_pointer_cast<AppProxyTCPFlow>(flow);
        if (!tcp) return false;
        const Endpoint remote = tcp->remoteEndpoint();
        const HostEndpoint* endpoint = hostEndpoint(remote);
        if (endpoint == nullptr) return false;
        if (endpoint->port == "9") {
            tcp->open([tcp](Error) {
                tcp->closeRead(connectionRefused());
                tcp->closeWrite(connectionRefused());
            });
            return true;
        }
        if (endpoint->port != "7") return false;
        asio::co_spawn(host().executor(), echo(tcp), asio::detached);
        return true;
    }

    void handleAppMessage(Bytes message, MessageHandler done) override {
        if (!done) return;
        if (message.empty()) return done(std::nullopt);
        done(Bytes(message.rbegin(), message.rend()));
    }

    std::optional<std::string> openFailure;

private:
    asio::awaitable<void> echo(std::shared_ptr<AppProxyTCPFlow> flow) {
        try {
            co_await openAsync(flow);
        } catch (const std::system_error& e) {
            openFailure = e.code().message();
            co_return;
        }
        pump(flow);
    }

    static void pump(std::shared_ptr<AppProxyTCPFlow> flow) {
        flow->readData([flow](std::optional<Bytes> data, Error error) {
            if (error || !data || data->empty()) {
                flow->closeWrite(error);
                flow->closeRead(error);
                return;
            }
            flow->write(*data, [flow](Error e) {
                if (e) return flow->closeRead(e);
                pump(flow);
            });
        });
    }

    static void echoDatagrams(std::shared_ptr<AppProxyUDPFlow> flow) {
        flow->readDatagrams([flow](auto datagrams, auto endpoints, Error error) {
            if (error || !datagrams || datagrams->empty()) {
                flow->closeRead({});
                flow->closeWrite({});
                return;
            }
            flow->writeDatagrams(*datagrams, *endpoints, [](Error) {});
            echoDatagrams(flow);
        });
    }
};

class FakeBackend : public ::testing::Test {
protected:
    std::shared_ptr<FakeTCPFlow> tcpFlow(std::string port) {
        return std::make_shared<FakeTCPFlow>(context.get_executor(), HostEndpoint{"198.18.0.10", std::move(port)},
                                             FlowMetaData{Bytes(32, 1), "curl"});
    }

    asio::io_context context;
    FakeProviderHost host{context.get_executor()};
    std::shared_ptr<EchoProvider> provider = [this] {
        auto p = std::make_shared<EchoProvider>(host);
        host.attach(p);
        return p;
    }();
};

TEST_F(FakeBackend, AcceptedFlowIsDrivenStepByStep) {
    auto flow = tcpFlow("7");
    auto taken = host.deliverFlow(flow);
    runUntilIdle(context);
    EXPECT_TRUE(taken.get());
    EXPECT_TRUE(flow->hasPendingRead());

    flow->pushData(bytes("hello"));
    runUntilIdle(context);
    flow->pushData(bytes(" world"));
    runUntilIdle(context);
    EXPECT_EQ(flow->written(), bytes("hello world"));
    EXPECT_EQ(flow->writes().size(), 2u);

    flow->pushEOF();
    runUntilIdle(context);
    EXPECT_EQ(flow->log(), (std::vector<std::string>{"open", "read", "write(5)", "read", "write(6)", "read",
                                                     "closeWrite(none)", "closeRead(none)"}));
    EXPECT_EQ(flow->overlappingReads(), 0u);
    EXPECT_TRUE(flow->isClosed());
}

TEST_F(FakeBackend, DeclinedFlowIsNotTouched) {
    for (auto endpoint : {Endpoint{HostEndpoint{"198.18.0.10", "80"}}, Endpoint{std::monostate{}}}) {
        auto flow = std::make_shared<FakeTCPFlow>(context.get_executor(), endpoint);
        auto taken = host.deliverFlow(flow);
        runUntilIdle(context);
        EXPECT_FALSE(taken.get());
        EXPECT_TRUE(flow->log().empty());
    }
}

TEST_F(FakeBackend, BlockedFlowIsClosedWithConnectionRefusedWhateverTheOpenGave) {
    for (Error openError : {Error{}, Error(asio::error::connection_reset)}) {
        auto flow = tcpFlow("9");
        flow->failOpenWith(openError);
        auto taken = host.deliverFlow(flow);
        runUntilIdle(context);
        EXPECT_TRUE(taken.get());
        EXPECT_EQ(flow->closes(), (std::vector<std::string>{"closeRead(ECONNREFUSED)", "closeWrite(ECONNREFUSED)"}));
        EXPECT_TRUE(isPosixError(flow->writeCloseError(), ECONNREFUSED));
    }
}

TEST_F(FakeBackend, HeldOpenWaitsForTheTestAndAFailedOpenThrowsItsError) {
    auto flow = tcpFlow("7");
    flow->holdOpen();
    host.deliverFlow(flow);
    runUntilIdle(context);
    EXPECT_EQ(flow->log(), std::vector<std::string>{"open"});
    flow->completeOpen(asio::error::connection_refused);
    runUntilIdle(context);
    EXPECT_EQ(provider->openFailure, Error(asio::error::connection_refused).message());
    EXPECT_EQ(flow->log(), std::vector<std::string>{"open"});
}

TEST_F(FakeBackend, ReadErrorsAndWriteFailuresReachTheProvider) {
    auto flow = tcpFlow("7");
    host.deliverFlow(flow);
    runUntilIdle(context);
    flow->failNextWriteWith(asio::error::broken_pipe);
    flow->pushData(bytes("x"));
    runUntilIdle(context);
    EXPECT_EQ(flow->closes(), std::vector<std::string>{"closeRead(EPIPE)"});
    EXPECT_TRUE(flow->written().empty());

    auto second = tcpFlow("7");
    host.deliverFlow(second);
    runUntilIdle(context);
    second->pushError(asio::error::connection_reset);
    runUntilIdle(context);
    EXPECT_EQ(second->closes(), (std::vector<std::string>{"closeWrite(ECONNRESET)", "closeRead(ECONNRESET)"}));
}

TEST_F(FakeBackend, ClosingTheReadSideEndsAWaitingRead) {
    auto flow = tcpFlow("7");
    host.deliverFlow(flow);
    runUntilIdle(context);
    ASSERT_TRUE(flow->hasPendingRead());
    flow->closeRead({});
    runUntilIdle(context);
    EXPECT_FALSE(flow->hasPendingRead());
    EXPECT_EQ(flow->closes(), (std::vector<std::string>{"closeRead(none)", "closeWrite(ECANCELED)", "closeRead(ECANCELED)"}));
    EXPECT_FALSE(flow->readCloseError());  // the first close of a side is the one that counts
}

TEST_F(FakeBackend, UDPFlowEchoesBatchesAsSentByTheirDestinations) {
    auto flow = std::make_shared<FakeUDPFlow>(context.get_executor(), FlowMetaData{std::nullopt, "dig"});
    auto taken = host.deliverFlow(flow);
    runUntilIdle(context);
    EXPECT_TRUE(taken.get());
    Endpoint dns = HostEndpoint{"10.203.0.2", "53"};
    Endpoint echo = HostEndpoint{"198.18.0.10", "7"};
    flow->pushBatch({bytes("q1"), bytes("q2"), bytes("extra")}, {dns, echo});
    runUntilIdle(context);
    EXPECT_EQ(flow->written(), (std::vector<FakeUDPFlow::Written>{{bytes("q1"), dns}, {bytes("q2"), echo}}));
    flow->pushEnd();
    runUntilIdle(context);
    EXPECT_TRUE(flow->isClosed());
}

TEST_F(FakeBackend, StartCapturesSettingsAndReportsAScriptedFailure) {
    auto started = host.startProxy();
    runUntilIdle(context);
    EXPECT_EQ(started.get(), std::nullopt);
    ASSERT_EQ(host.settingsCalls().size(), 1u);
    EXPECT_EQ(host.settingsCalls()[0]->includedNetworkRules.size(), 1u);

    Failure failure{posixError(EPERM), "Operation not permitted"};
    host.failSettingsWith(failure);
    auto failed = host.startProxy();
    runUntilIdle(context);
    EXPECT_EQ(failed.get(), failure);
}

TEST_F(FakeBackend, MessageRepliesKeepNoneAndEmptyApart) {
    auto reply = host.appMessage(bytes("ab"));
    auto none = host.appMessage({});
    host.appMessageWithoutReply(bytes("x"));
    runUntilIdle(context);
    EXPECT_EQ(reply.get(), bytes("ba"));
    EXPECT_EQ(none.get(), std::nullopt);
}

TEST_F(FakeBackend, ConfigurationIsReadAtTheMomentOfTheCall) {
    EXPECT_EQ(host.protocolConfiguration(), nullptr);
    host.setConfiguration(TunnelProviderProtocol{"org.corvane.Corvane.tunnel", "Corvane",
                                                 ConfigurationDictionary{{"proxySecrets", StringMap{{"A", "1"}}}}});
    auto first = host.protocolConfiguration();
    host.setConfiguration(TunnelProviderProtocol{"org.corvane.Corvane.tunnel", "Corvane", std::nullopt});
    EXPECT_TRUE(first->providerConfiguration.has_value());
    EXPECT_FALSE(host.protocolConfiguration()->providerConfiguration.has_value());
}

TEST_F(FakeBackend, AFlowForAGoneProviderIsDeclined) {
    provider.reset();
    auto taken = host.deliverFlow(tcpFlow("7"));
    runUntilIdle(context);
    EXPECT_FALSE(taken.get());
}

}  // namespace
}  // namespace corvane::platform
