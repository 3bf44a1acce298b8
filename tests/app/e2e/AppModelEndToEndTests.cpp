// The app's model against the real daemon in network namespaces of this test's
// own (the tunnel's end-to-end topology): it stores a profile, starts the engine,
// shows a namespaced program's connection through microsocks with its rule and
// byte counts, samples throughput, and sees the daemon die; and a long transfer
// keeps its record while more short connections than the daemon keeps come and go.
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <future>
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
    // One rule sending TCP to 198.18.0.10:7 through `proxy`.
    static Profile routedThrough(const ProxyServer& proxy) {
        Rule rule;
        rule.id = UUID::random();
        rule.name = "Targets";
        rule.hosts = {"198.18.0.10/32"};
        rule.ports = {PortRange{7, 7}};
        rule.transports = {TransportProtocol::tcp};
        rule.action = RuleAction::proxy(proxy.id);
        Profile profile;
        profile.proxies = {proxy};
        profile.rules = {rule};
        return profile;
    }
    // microsocks with its password.
    static Profile routedThroughMicrosocks() {
        ProxyServer microsocks = topology()->microsocks;
        microsocks.credentials = ProxyCredentials{"alice", "s3cret"};
        return routedThrough(microsocks);
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

    const auto result = topology()->probe("tcp-echo-probe", "198.18.0.10", 7, 1000);
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

// A topology of its own: the test above ends its daemon.
class LongTransferEndToEnd : public AppModelEndToEnd {
protected:
    const ConnectionRecord* shown(const UUID& id) const {
        for (const ConnectionRecord& record : state.records()) {
            if (record.id == id) return &record;
        }
        return nullptr;
    }
};

// A transfer through dante outlives 600 short connections through the same rule:
// every poll meanwhile shows its record running with growing counts, and the chart
// measures its bytes, the only ones sent.
TEST_F(LongTransferEndToEnd, RunningTransferStaysInTheFetchedRecordsPastTheLimit) {
    ExtensionManager& manager = state.extensionManager();
    ASSERT_TRUE(waitUntil([&] { return manager.extensionStatus() == ExtensionStatus::installed(); }));
    // dante copies both ways at once; microsocks, fed at full speed, stalls the echo.
    state.setProfile(routedThrough(topology()->dante));
    state.saveProfile();
    manager.start();
    ASSERT_TRUE(waitUntil([&] { return manager.engineStatus() == EngineStatus::running(); }, 10s)) << daemonLog();
    int polls = 0;
    QObject::connect(&state, &AppState::recordsChanged, [&] { ++polls; });
    auto poll = state.pollRecords();
    const auto nextPoll = [&] {
        const int before = polls;
        return waitUntil([&] { return polls > before; }, 5s);
    };

    const std::string probe = "ip netns exec " + e2e::kHost + " " + topology()->probeProgram.string();
    const e2e::Process transfer(probe + " tcp-stream 198.18.0.10 7 60000 > /dev/null");
    ASSERT_TRUE(waitUntil([&] { return !state.records().empty(); }, 10s));
    const ConnectionRecord started = state.records().front();
    auto shortOnes =
        std::async(std::launch::async, [&] { return e2e::capture(probe + " tcp-many 198.18.0.10 7 600"); });

    // While they run, and twice after: one poll to measure from, one to measure.
    ConnectionRecord last = started;
    for (int after = 0; after < 2;) {
        ASSERT_TRUE(nextPoll());
        if (shortOnes.wait_for(0s) == std::future_status::ready) ++after;
        const ConnectionRecord* transferred = shown(started.id);
        ASSERT_NE(transferred, nullptr)
            << "the transfer is not among the " << state.records().size() << " records shown";
        ASSERT_EQ(transferred->status, ConnectionStatus::active);
        EXPECT_GT(transferred->bytesSent, last.bytesSent);
        EXPECT_GT(transferred->bytesReceived, last.bytesReceived);
        if (after == 2) {
            const auto& samples = state.throughput();
            ASSERT_GE(samples.size(), 2u);
            const double interval = samples.back().at.timeIntervalSince(samples[samples.size() - 2].at);
            const double grown = static_cast<double>(transferred->bytesSent - last.bytesSent);
            EXPECT_NEAR(samples.back().sent * interval, grown, grown * 1e-6);
        }
        last = *transferred;
    }
    EXPECT_EQ(nlohmann::json::parse(shortOnes.get()).value("flows", 0), 600);
    // The daemon's 500, newest first: the transfer, the oldest, comes last.
    ASSERT_EQ(state.records().size(), 500u);
    EXPECT_EQ(state.records().back().id, started.id);
}

}  // namespace
}  // namespace corvane::app::testing
