// The app's model against the real daemon in network namespaces of this test's
// own (the tunnel's end-to-end topology): it stores a profile, starts the engine,
// shows a namespaced program's connection through microsocks with its rule and
// byte counts, samples throughput, and sees the daemon die.
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "Support/EventLoop.hpp"
#include "Support/RealAppModel.hpp"
#include "Support/Shell.hpp"
#include "Support/TopologyTest.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

using namespace std::chrono_literals;
using platform::SessionStatus;

class AppModelEndToEnd : public e2e::TopologyTest {
protected:
    // microsocks with its password, and one rule sending TCP to 198.18.0.10:7 through it.
    static Profile routedThroughMicrosocks() {
        ProxyServer microsocks = topology()->microsocks;
        microsocks.credentials = ProxyCredentials{"alice", "s3cret"};
        Rule rule;
        rule.id = UUID::random();
        rule.name = "Targets";
        rule.hosts = {"198.18.0.10/32"};
        rule.ports = {PortRange{7, 7}};
        rule.transports = {TransportProtocol::tcp};
        rule.action = RuleAction::proxy(microsocks.id);
        Profile profile;
        profile.proxies = {microsocks};
        profile.rules = {rule};
        return profile;
    }

    // Stops every thread of the process; true once all of them are stopped.
    static bool freeze(pid_t pid) {
        ::kill(pid, SIGSTOP);
        const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
        return e2e::waitFor([&] {
            for (const auto& task : std::filesystem::directory_iterator(tasks)) {
                std::ifstream in(task.path() / "stat");
                const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                const auto close = stat.rfind(')');
                if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'T') return false;
            }
            return true;
        });
    }
    static std::string daemonLog() {
        std::ifstream in(topology()->folder / "daemon.log");
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    platform::testing::TemporaryDirectory folder;
    RealAppModel model{topology()->socketPath(), folder.path()};
    AppState& state = model.state;
};

TEST_F(AppModelEndToEnd, RunsTheEngineShowsRecordsAndSeesTheDaemonDie) {
    ExtensionManager& manager = state.extensionManager();
    ASSERT_TRUE(waitUntil([&] { return manager.extensionStatus() == ExtensionStatus::installed(); }));

    state.setProfile(routedThroughMicrosocks());
    state.saveProfile();
    EXPECT_EQ(state.lastError(), std::nullopt);

    std::vector<SessionStatus> pushed;
    std::vector<EngineStatus> engine;
    QObject::connect(&model.daemon, &DaemonConnection::statusChanged, [&] { pushed.push_back(model.daemon.status()); });
    QObject::connect(&manager, &ExtensionManager::engineStatusChanged,
                     [&] { engine.push_back(manager.engineStatus()); });
    manager.start();
    ASSERT_TRUE(waitUntil([&] { return manager.engineStatus() == EngineStatus::running(); }, 10s))
        << "engine " << static_cast<int>(manager.engineStatus().kind) << " " << manager.engineStatus().message
        << ", pushed " << ::testing::PrintToString(pushed) << ", daemon log:\n" << daemonLog();
    EXPECT_EQ(pushed, (std::vector{SessionStatus::connecting, SessionStatus::connected}));
    EXPECT_EQ(engine, (std::vector{EngineStatus::starting(), EngineStatus::running()}));
    EXPECT_EQ(state.lastError(), std::nullopt);

    int fetches = 0;
    QObject::connect(&state, &AppState::recordsChanged, [&] { ++fetches; });
    auto poll = state.pollRecords();
    ASSERT_TRUE(waitUntil([&] { return fetches >= 1; }));

    const auto result = topology()->probe("tcp-probe", "198.18.0.10", 7, 1000, 300);
    // microsocks, beside the target in its namespace, reaches it from the target's own address.
    ASSERT_EQ(result.value("greeting", ""), "peer=198.18.0.10") << result.dump();
    const int afterProbe = fetches;
    std::optional<ConnectionRecord> shown;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const ConnectionRecord& record : state.records()) {
                if (record.target == "198.18.0.10:7" && record.status == ConnectionStatus::closed) shown = record;
            }
            return shown.has_value();
        },
        10s));
    EXPECT_LE(fetches - afterProbe, 2) << "the record took more than two polls";
    EXPECT_EQ(shown->ruleName, "Targets");
    EXPECT_EQ(shown->actionDescription, "Proxy: microsocks");
    EXPECT_EQ(shown->bytesSent, 1000u);
    EXPECT_EQ(shown->bytesReceived, result.value("received", 0u));
    EXPECT_TRUE(std::any_of(state.throughput().begin(), state.throughput().end(),
                            [](const ThroughputTracker::Sample& sample) { return sample.sent > 0; }));

    // A message the frozen daemon never answers is answered with none once it dies.
    ASSERT_TRUE(freeze(topology()->daemon->pid()));
    QObject context;
    std::optional<std::optional<platform::Bytes>> reply;
    manager.sendProviderMessage({ProviderRequest::Kind::fetchRecords, std::nullopt}, &context,
                                [&](std::optional<platform::Bytes> data) { reply = data; });
    EXPECT_FALSE(waitUntil([&] { return reply.has_value(); }, 300ms));
    topology()->daemon->stop(SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return reply.has_value(); }));
    EXPECT_EQ(*reply, std::nullopt);
    EXPECT_TRUE(waitUntil([&] { return manager.engineStatus() == EngineStatus::stopped(); }));
}

}  // namespace
}  // namespace corvane::app::testing
