#include "platform/host/Session.hpp"

#include <gtest/gtest.h>

#include "SessionFixture.hpp"
#include "platform/testing/EventLoop.hpp"
#include "platform/testing/FakeTCPFlow.hpp"

namespace corvane::platform {
namespace {

using testing::runUntilIdle;
using S = SessionStatus;

Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

class SessionTest : public hosttest::SessionFixture {
protected:
    SessionTest() {
        session->addObserver([this](SessionStatus status) { statuses.push_back(status); });
    }

    std::shared_ptr<testing::FakeTCPFlow> flow() {
        return std::make_shared<testing::FakeTCPFlow>(context.get_executor(), HostEndpoint{"198.18.0.10", "7"});
    }
    void startSession() {
        session->start();
        runUntilIdle(context);
        ASSERT_EQ(session->status(), S::connected);
        statuses.clear();
    }

    std::vector<SessionStatus> statuses;
};

TEST_F(SessionTest, StartInstallsTheProviderSettingsAndReportsEachStatus) {
    EXPECT_TRUE(diversion.started());
    session->start();
    session->start();  // a second START while connecting does nothing
    runUntilIdle(context);
    EXPECT_EQ(statuses, (std::vector<S>{S::connecting, S::connected}));
    ASSERT_TRUE(diversion.installed().has_value());
    EXPECT_EQ(diversion.installed()->includedNetworkRules.size(), 1u);
}

TEST_F(SessionTest, AFailedStartRemovesTheSettingsAndDisconnects) {
    diversion.failSettingsWith(Failure{posixError(EPERM), "Operation not permitted"});
    session->start();
    runUntilIdle(context);
    EXPECT_EQ(statuses, (std::vector<S>{S::connecting, S::disconnected}));
    EXPECT_EQ(diversion.settingsCalls().back(), std::nullopt);
    EXPECT_EQ(capture->lines(), std::vector<std::string>{"Session start failed: Operation not permitted"});
}

TEST_F(SessionTest, StopClosesEveryFlowStillOpenAndRemovesTheSettings) {
    startSession();
    auto open = flow();
    auto finished = flow();
    EXPECT_TRUE(diversion.divert(open));
    EXPECT_TRUE(diversion.divert(finished));
    finished->closeRead({});
    finished->closeWrite({});
    EXPECT_EQ(session->registeredFlowCount(), 2u);

    bool stopped = false;
    session->stop([&] { stopped = true; });
    runUntilIdle(context);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(provider->stops, 1);
    EXPECT_EQ(statuses, (std::vector<S>{S::disconnecting, S::disconnected}));
    EXPECT_EQ(open->closes(), (std::vector<std::string>{"closeRead(ECONNABORTED)", "closeWrite(ECONNABORTED)"}));
    EXPECT_FALSE(finished->readCloseError());  // the provider's own close stays the one that counts
    EXPECT_EQ(session->registeredFlowCount(), 0u);
    EXPECT_EQ(diversion.settingsCalls().back(), std::nullopt);

    // After the stop the system carries new flows itself.
    auto late = flow();
    EXPECT_FALSE(diversion.divert(late));
    EXPECT_TRUE(late->log().empty());
}

TEST_F(SessionTest, StopDuringStartStopsOnceTheStartFinished) {
    session->start();
    session->stop();
    runUntilIdle(context);
    EXPECT_EQ(statuses, (std::vector<S>{S::connecting, S::connected, S::disconnecting, S::disconnected}));
    EXPECT_EQ(provider->stops, 1);
}

TEST_F(SessionTest, StartWhileDisconnectingStartsAgainAfterTheStop) {
    startSession();
    session->stop();
    session->start();
    runUntilIdle(context);
    EXPECT_EQ(statuses, (std::vector<S>{S::disconnecting, S::disconnected, S::connecting, S::connected}));
    ASSERT_TRUE(diversion.installed().has_value());
}

TEST_F(SessionTest, MessagesAreAnsweredOnceWhateverHappens) {
    std::vector<std::optional<Bytes>> replies;
    auto collect = [&](std::optional<Bytes> reply) { replies.push_back(std::move(reply)); };
    session->sendMessage(bytes("ab"), collect);  // not connected: none at once
    runUntilIdle(context);
    startSession();
    session->sendMessage(bytes("ab"), collect);
    session->sendMessage(bytes("drop"), collect);  // handler dropped: none
    session->sendMessage(bytes("hold"), collect);  // still waiting at the stop: none
    runUntilIdle(context);
    EXPECT_EQ(replies.size(), 3u);
    session->stop();
    runUntilIdle(context);
    ASSERT_EQ(provider->held.size(), 1u);
    provider->held[0](bytes("late"));  // too late: already answered
    EXPECT_EQ(replies, (std::vector<std::optional<Bytes>>{std::nullopt, bytes("ba"), std::nullopt, std::nullopt}));
}

TEST_F(SessionTest, LosingTheDiversionEndsTheSession) {
    startSession();
    diversion.loseDiversion(Failure{posixError(EPIPE), "nft exited"});
    runUntilIdle(context);
    EXPECT_EQ(statuses, (std::vector<S>{S::disconnecting, S::disconnected}));
    EXPECT_EQ(capture->lines().front(), "Diversion lost: nft exited");
}

TEST_F(SessionTest, TheProviderReadsTheStoredConfigurationAtEachCall) {
    EXPECT_EQ(session->protocolConfiguration(), nullptr);
    store->save({"Corvane", true, {"org.corvane.Corvane.tunnel", "Corvane", std::nullopt}});
    ASSERT_NE(session->protocolConfiguration(), nullptr);
    EXPECT_EQ(session->protocolConfiguration()->serverAddress, "Corvane");
}

}  // namespace
}  // namespace corvane::platform
