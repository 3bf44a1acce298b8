#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <condition_variable>
#include <mutex>

#include "ControlSocketFixture.hpp"

namespace corvane::platform {
namespace {

using namespace std::chrono_literals;
using hosttest::await;
using hosttest::ControlSocketTest;
using S = SessionStatus;

TransparentProxyConfiguration sample() {
    return {"Corvane", true,
            {"org.corvane.Corvane.tunnel", "Corvane",
             ConfigurationDictionary{{"profile", Bytes{'{', '"', '}'}},
                                     {"proxySecrets", StringMap{{"9F0C4E1A-0000-4000-8000-000000000001", "pw"}}}}}};
}

TEST_F(ControlSocketTest, SaveAndLoadKeepTheValueTypes) {
    auto client = connected();
    std::promise<ControlClient::LoadResult> empty;
    auto emptyFuture = empty.get_future();
    client->loadConfigurations([&](auto result) { empty.set_value(std::move(result)); });
    EXPECT_EQ(await(emptyFuture).configurations, std::vector<TransparentProxyConfiguration>{});

    std::promise<std::optional<std::string>> saved;
    auto savedFuture = saved.get_future();
    client->saveConfiguration(sample(), [&](auto error) { saved.set_value(error); });
    EXPECT_EQ(await(savedFuture), std::nullopt);

    std::promise<ControlClient::LoadResult> loaded;
    auto loadedFuture = loaded.get_future();
    connected()->loadConfigurations([&](auto result) { loaded.set_value(std::move(result)); });
    EXPECT_EQ(await(loadedFuture).configurations, std::vector{sample()});
    EXPECT_EQ(*session->protocolConfiguration(), sample().protocolConfiguration);
}

TEST_F(ControlSocketTest, AnInvalidConfigurationIsRefusedWithItsReason) {
    const std::string nested = std::string(50000, '[') + std::string(50000, ']');
    const std::pair<std::string, std::string> cases[] = {
        {"[]", "The configuration is not valid: “configuration”: expected an object."},
        {R"({"localizedDescription":"C","enabled":true,"protocol":{"providerBundleIdentifier":"a",)"
         R"("serverAddress":"b","providerConfiguration":{"deep":)" + nested + "}}}",
         "The configuration is not valid: The data is nested more than 64 levels deep."},
    };
    auto client = connected();
    for (const auto& [payload, reason] : cases) {
        auto answer = request(*client, ControlKind::saveConfiguration, Bytes(payload.begin(), payload.end()));
        ASSERT_TRUE(answer.has_value());
        EXPECT_FALSE(answer->flag);
        EXPECT_EQ(std::string(answer->data.begin(), answer->data.end()), reason);
    }
    EXPECT_TRUE(hello(*client).has_value());
    EXPECT_TRUE(store->load().empty());
}

TEST_F(ControlSocketTest, AConfigurationTheStoreCannotKeepIsRefusedInTheReply) {
    auto client = connected();
    const Bytes good = [] {
        const std::string text = toJson(sample()).dump();
        return Bytes(text.begin(), text.end());
    }();
    EXPECT_TRUE(request(*client, ControlKind::saveConfiguration, good)->flag);
    // 280 KB of numbers 60 levels deep: over 17 MB once written with indentation.
    std::string payload = R"({"localizedDescription":"C","enabled":true,"protocol":{"providerBundleIdentifier":"a",)"
                          R"("serverAddress":"b","providerConfiguration":{"wide":)" + std::string(60, '[') + "0";
    for (int i = 0; i < 140000; ++i) payload += ",0";
    payload += std::string(60, ']') + "}}}";

    auto answer = request(*client, ControlKind::saveConfiguration, Bytes(payload.begin(), payload.end()));
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(answer->flag);
    EXPECT_EQ(std::string(answer->data.begin(), answer->data.end()).rfind("The configuration is too large to store: ", 0), 0u);
    EXPECT_EQ(*session->protocolConfiguration(), sample().protocolConfiguration);
    EXPECT_EQ(ConfigurationStore(directory / "state").load(), std::vector{sample()});
}

TEST_F(ControlSocketTest, StartAndStopPushTheStatusToSubscribers) {
    auto watcher = connected();
    std::mutex lock;
    std::condition_variable changed;
    std::vector<S> pushed;
    watcher->setStatusHandler([&](S status) {
        std::lock_guard guard(lock);
        pushed.push_back(status);
        changed.notify_all();
    });
    std::promise<std::optional<S>> subscribed;
    auto subscribedFuture = subscribed.get_future();
    watcher->subscribe([&](auto status) { subscribed.set_value(status); });
    EXPECT_EQ(await(subscribedFuture), S::disconnected);

    auto controller = connected();
    EXPECT_TRUE(start(*controller));
    std::promise<bool> stopped;
    auto stoppedFuture = stopped.get_future();
    controller->stop([&](bool ok) { stopped.set_value(ok); });
    EXPECT_TRUE(await(stoppedFuture));
    EXPECT_EQ(session->status(), S::disconnected);

    std::unique_lock guard(lock);
    changed.wait_for(guard, 2s, [&] { return pushed.size() >= 4; });
    EXPECT_EQ(pushed, (std::vector<S>{S::connecting, S::connected, S::disconnecting, S::disconnected}));
}

TEST_F(ControlSocketTest, AMessageGetsItsReplyAndHelloReportsTheVersion) {
    auto client = startedClient();

    std::promise<std::optional<Bytes>> first, second;
    auto firstFuture = first.get_future(), secondFuture = second.get_future();
    client->sendProviderMessage(Bytes{'a', 'b', 'c'}, [&](auto reply) { first.set_value(reply); });
    client->sendProviderMessage(Bytes{'d', 'r', 'o', 'p'}, [&](auto reply) { second.set_value(reply); });
    EXPECT_EQ(await(firstFuture), (Bytes{'c', 'b', 'a'}));
    EXPECT_EQ(await(secondFuture), std::nullopt);

    auto info = hello(*client);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->version.shortVersion, "1.0");
    EXPECT_EQ(info->version.build, "7");
    EXPECT_EQ(info->status, S::connected);
}

TEST_F(ControlSocketTest, ADroppedConnectionAnswersEveryPendingRequestWithNone) {
    auto client = startedClient();

    std::promise<std::optional<Bytes>> held;
    auto heldFuture = held.get_future();
    std::promise<void> disconnected;
    auto disconnectedFuture = disconnected.get_future();
    client->setDisconnectHandler([&] { disconnected.set_value(); });
    client->sendProviderMessage(Bytes{'h', 'o', 'l', 'd'}, [&](auto reply) { held.set_value(reply); });
    for (int i = 0; i < 100 && provider->heldCount() == 0; ++i) std::this_thread::sleep_for(10ms);
    client->close();
    EXPECT_EQ(await(heldFuture), std::nullopt);
    await(disconnectedFuture);
}

TEST_F(ControlSocketTest, GarbageAndOversizedFramesCloseOnlyThatPeer) {
    auto bystander = connected();
    EXPECT_TRUE(closedAfterSending({0x01, 0x00, 0x00, 0x01, 6, 0, 0, 0, 1}));  // 16 MiB + 1
    EXPECT_TRUE(closedAfterSending({0, 0, 0, 5, 0x42, 0, 0, 0, 1}));            // unknown kind
    EXPECT_TRUE(closedAfterSending({0, 0, 0, 1, 1}));                           // too short
    EXPECT_TRUE(closedAfterSending(ControlFrame{ControlKind::status, 0, {1}}.encode()));  // daemon's own kind

    EXPECT_TRUE(hello(*bystander).has_value());
}

TEST_F(ControlSocketTest, APeerThatIsNeitherRootNorInTheGroupIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
    passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr) GTEST_SKIP() << "no user \"nobody\"";
    ::chmod(socketPath().c_str(), 0666);  // let the child reach the socket; the check is the credential
    ::chmod(socketPath().parent_path().c_str(), 0755);
    ::chmod(directory.c_str(), 0755);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) _exit(3);
        if (!closedAfterSending(ControlFrame{ControlKind::hello, 1, {}}.encode())) _exit(1);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the daemon answered a refused peer";
    auto lines = capture->lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Refused a control connection from uid " + std::to_string(nobody->pw_uid) + " (pid " +
                                std::to_string(child) + "): not root and not in the group “corvane”");
}

// Idle connections of other users never lock root out: each user has a share of
// the slots, the others together all but root's reserve.
TEST_F(ControlSocketTest, EachUserHasAShareOfTheConnectionsAndRootAlwaysGetsIn) {
    std::vector<std::shared_ptr<ControlClient>> clients;
    const auto admitted = [&](long uid) {
        fakeUid = uid;
        clients.push_back(connected());
        return hello(*clients.back()).has_value();
    };
    for (long uid : {1000, 1001, 1002}) {
        for (int i = 0; i < 8; ++i) EXPECT_TRUE(admitted(uid)) << uid << " #" << i;
    }
    EXPECT_FALSE(admitted(1000));  // a user's share is full
    EXPECT_NE(capture->lines().back().find("uid 1000 (pid 0): too many connections"), std::string::npos);
    EXPECT_FALSE(admitted(1003));  // the others' slots are full
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(admitted(0)) << "root #" << i;
    EXPECT_FALSE(admitted(0));  // every slot is taken

    clients.front()->close();  // the first of uid 1000
    bool readmitted = false;
    for (int attempt = 0; attempt < 100 && !readmitted; ++attempt) {
        std::this_thread::sleep_for(10ms);  // until the daemon has seen it go
        readmitted = admitted(1000);
    }
    EXPECT_TRUE(readmitted);
}

TEST_F(ControlSocketTest, TheSocketBelongsToTheGroupWhenItExists) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the socket to a group";
    const gid_t group = 4242;
    const auto path = directory / "grouped" / "control.sock";
    auto grouped = std::make_shared<ControlServer>(context.get_executor(), *session, *store, path, ExtensionVersion{},
                                                   [] { return std::optional<gid_t>(4242); });
    std::promise<void> opened;
    auto openedFuture = opened.get_future();
    asio::post(context, [&] {
        grouped->open();
        opened.set_value();
    });
    await(openedFuture);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0660u);
    EXPECT_EQ(info.st_gid, group);
    EXPECT_EQ(info.st_uid, 0u);
    std::promise<void> closed;
    auto closedFuture = closed.get_future();
    asio::post(context, [&] {
        grouped->close();
        closed.set_value();
    });
    await(closedFuture);
    EXPECT_FALSE(std::filesystem::exists(path));
    asio::post(context, [grouped] {});  // released on the loop, after the aborted accept ran
}

TEST_F(ControlSocketTest, TheSocketIsPrivateWithoutTheGroup) {
    struct stat info {};
    ASSERT_EQ(::stat(socketPath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace corvane::platform
