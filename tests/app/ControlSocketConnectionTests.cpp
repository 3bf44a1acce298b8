#include <gtest/gtest.h>

#include "Model/AsioWorker.hpp"
#include "Model/ControlSocketConnection.hpp"
#include "Support/EventLoop.hpp"
#include "Support/InProcessDaemon.hpp"
#include "platform/linux/TemporaryDirectory.hpp"
#include "platform/testing/CaptureLogSink.hpp"

namespace corvane::app::testing {
namespace {

using platform::SessionStatus;
using Result = DaemonConnection::MessageResult;
using Kind = DaemonFailure::Kind;
using namespace std::chrono_literals;

platform::TransparentProxyConfiguration sampleConfiguration() {
    platform::ConfigurationDictionary values;
    values["proxySecrets"] = platform::StringMap{{"A", "pw"}};
    values["profile"] = platform::Bytes{'{', '}'};
    return {"Corvane", true, {"org.corvane.Corvane.tunnel", "Corvane", values}};
}

platform::Bytes bytes(std::string_view text) { return platform::Bytes(text.begin(), text.end()); }

class ControlSocketConnectionTest : public ::testing::Test {
protected:
    platform::testing::ScopedLogCapture log;
    platform::testing::TemporaryDirectory folder;
    std::unique_ptr<InProcessDaemon> host = std::make_unique<InProcessDaemon>(folder.path());
    AsioWorker worker;
    ControlSocketConnection connection{worker.executor(), folder.path() / "control.sock", 50ms};
    QObject context;

    DaemonConnection::LoadResult load() {
        std::optional<DaemonConnection::LoadResult> result;
        connection.loadConfigurations(&context, [&](DaemonConnection::LoadResult r) { result = std::move(r); });
        EXPECT_FALSE(result) << "answered inside the call";
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
        return result.value_or(DaemonConnection::LoadResult{});
    }
    Result message(std::string_view text) {
        std::optional<Result> result;
        connection.sendProviderMessage(bytes(text), &context, [&](Result r) { result = std::move(r); });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
        return result.value_or(Result{});
    }
    using Operation = void (DaemonConnection::*)(QObject*, std::function<void(DaemonConnection::Failure)>);
    DaemonConnection::Failure call(Operation operation) {
        std::optional<DaemonConnection::Failure> result;
        (connection.*operation)(&context, [&](DaemonConnection::Failure f) { result = f; });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
        return result.value_or(DaemonFailure{Kind::refused, "no answer"});
    }
};

TEST_F(ControlSocketConnectionTest, CarriesTheConfigurationTheSessionAndMessages) {
    EXPECT_EQ(connection.status(), SessionStatus::invalid);
    EXPECT_EQ(load().configurations, std::vector<platform::TransparentProxyConfiguration>{});
    EXPECT_TRUE(waitUntil([&] { return connection.status() == SessionStatus::disconnected; }));

    std::optional<DaemonConnection::Failure> saved;
    connection.saveConfiguration(sampleConfiguration(), &context, [&](DaemonConnection::Failure f) { saved = f; });
    ASSERT_TRUE(waitUntil([&] { return saved.has_value(); }));
    EXPECT_EQ(*saved, std::nullopt);
    EXPECT_EQ(load().configurations, std::vector{sampleConfiguration()});

    std::vector<SessionStatus> pushed;
    QObject::connect(&connection, &DaemonConnection::statusChanged, &context,
                     [&] { pushed.push_back(connection.status()); });
    EXPECT_EQ(call(&DaemonConnection::startTunnel), std::nullopt);
    EXPECT_TRUE(waitUntil([&] { return connection.status() == SessionStatus::connected; }));
    EXPECT_EQ(pushed, (std::vector{SessionStatus::connecting, SessionStatus::connected}));

    EXPECT_EQ(message("abc").reply, bytes("cba"));
    const Result dropped = message("drop");
    EXPECT_EQ(dropped.reply, std::nullopt);
    EXPECT_EQ(dropped.error, std::nullopt);
}

TEST_F(ControlSocketConnectionTest, TheDaemonGoingAwayAnswersWhatWaitsAndAFreshDaemonIsReached) {
    EXPECT_EQ(call(&DaemonConnection::startTunnel), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return connection.status() == SessionStatus::connected; }));
    std::optional<Result> held;
    connection.sendProviderMessage(bytes("hold"), &context, [&](Result r) { held = std::move(r); });
    ASSERT_TRUE(waitUntil([&] { return host->provider().heldCount() == 1; }));

    host.reset();
    ASSERT_TRUE(waitUntil([&] { return held.has_value(); }));
    EXPECT_EQ(held->reply, std::nullopt);
    EXPECT_EQ(held->error, (DaemonFailure{Kind::unreachable, ControlSocketConnection::lostConnectionText()}));
    EXPECT_EQ(connection.status(), SessionStatus::invalid);

    const auto unreachable = load();
    EXPECT_EQ(unreachable.configurations, std::nullopt);
    EXPECT_EQ(unreachable.error.kind, Kind::unreachable);
    EXPECT_TRUE(unreachable.error.description.starts_with("Could not reach the tunnel daemon at " +
                                                          (folder.path() / "control.sock").string() + ": "))
        << unreachable.error.description;
    EXPECT_EQ(call(&DaemonConnection::startTunnel)->kind, Kind::unreachable);

    host = std::make_unique<InProcessDaemon>(folder.path());
    EXPECT_TRUE(load().configurations.has_value());
    EXPECT_TRUE(waitUntil([&] { return connection.status() == SessionStatus::disconnected; }));
}

// Nobody has to ask: a daemon that goes is noticed, and one that comes back
// (restarted, or installed later) is reached again and followed.
TEST_F(ControlSocketConnectionTest, FollowsTheDaemonGoingAndComingBackByItself) {
    std::vector<bool> changes;
    QObject::connect(&connection, &DaemonConnection::connectionChanged, &context,
                     [&] { changes.push_back(connection.connected()); });
    EXPECT_FALSE(connection.connected());
    EXPECT_TRUE(load().configurations.has_value());
    EXPECT_TRUE(connection.connected());
    EXPECT_EQ(call(&DaemonConnection::startTunnel), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return connection.status() == SessionStatus::connected; }));

    host.reset();
    ASSERT_TRUE(waitUntil([&] { return changes.size() == 2; }));
    EXPECT_FALSE(connection.connected());
    EXPECT_EQ(connection.status(), SessionStatus::invalid);
    waitUntil([] { return false; }, 200ms);
    EXPECT_EQ(changes.size(), 2u) << "tries again quietly while none answers";

    host = std::make_unique<InProcessDaemon>(folder.path());
    ASSERT_TRUE(waitUntil([&] { return changes.size() == 3; }));
    EXPECT_EQ(changes, (std::vector{true, false, true}));
    EXPECT_TRUE(waitUntil([&] { return connection.status() == SessionStatus::disconnected; }))
        << "the new daemon's status is followed";
}

TEST_F(ControlSocketConnectionTest, AnswersForAContextThatIsGoneAreDropped) {
    auto gone = std::make_unique<QObject>();
    bool answered = false;
    connection.loadConfigurations(gone.get(), [&](DaemonConnection::LoadResult) { answered = true; });
    gone.reset();
    std::optional<DaemonConnection::LoadResult> later = load();
    EXPECT_TRUE(later->configurations.has_value());
    EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace corvane::app::testing
