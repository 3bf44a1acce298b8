// The simulator against the real daemon in network namespaces of this test's
// own: one program, as an unverified copy in a world-writable folder and as a
// verified copy in a root-owned one, both named like the application a rule
// names. The simulator predicts each copy's route before the daemon has seen
// it (found on a search path), and again from the daemon's records once each
// has run; every prediction is what the daemon did.
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "Presenters/Simulator/SimulatorPresenter.hpp"
#include "Support/EventLoop.hpp"
#include "Support/Profiles.hpp"
#include "Support/RealAppModel.hpp"
#include "Support/Shell.hpp"
#include "Support/TopologyTest.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kProgramName = "corvane-e2e-peer";

// What decided a flow: the action's text and the rule, as a record shows them.
struct Route {
    std::string action;
    std::optional<std::string> rule;

    friend bool operator==(const Route&, const Route&) = default;
};

void PrintTo(const Route& route, std::ostream* out) {
    *out << route.action << " via " << route.rule.value_or("default");
}

class SimulatorEndToEnd : public e2e::TopologyTest {
protected:
    void SetUp() override {
        e2e::TopologyTest::SetUp();
        if (IsSkipped()) return;
        // A folder chain only root can write: the copy in it is verified, not packaged.
        std::string pattern = "/run/cvt-sim-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        trusted = pattern;
        fs::permissions(trusted, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
        fs::copy_file(unverified(), verified());
    }
    void TearDown() override {
        std::error_code ignored;
        if (!trusted.empty()) fs::remove_all(trusted, ignored);
    }

    static fs::path unverified() { return topology()->probeProgram; }
    fs::path verified() const { return trusted / kProgramName; }

    // Block what the program sends to the echo server when it is the program the
    // rule names; everything else goes through dante, so every flow is recorded.
    static Profile byName() {
        Rule rule = ruleNamed("Peer by name", RuleAction::block(), {"198.18.0.10/32"}, {kProgramName});
        rule.ports = {PortRange{7, 7}};
        Profile profile = profileWith({topology()->dante}, RuleAction::proxy(topology()->dante.id));
        profile.rules = {rule};
        return profile;
    }

    // The simulator's route for the program `application` names, looked for on `searchPath`.
    Route simulated(const std::string& application, std::vector<fs::path> searchPath = {}) {
        SimulatorPresenter presenter(state, ProgramLookup({std::move(searchPath), folder.path() / "no-flatpaks"}));
        presenter.setHost("198.18.0.10");
        presenter.setPortText("7");
        presenter.setApplication(QString::fromStdString(application));
        presenter.simulate();
        const auto& trace = presenter.trace();
        if (!trace) return {"no trace", std::nullopt};
        return {presenter.banner().label.toStdString(),
                trace->matchedRule ? std::optional(trace->matchedRule->name) : std::nullopt};
    }

    // Runs the program at `path` once to the echo server; the route its record shows.
    Route ranThroughTheDaemon(const fs::path& path) {
        e2e::capture("ip netns exec " + e2e::kHost + " " + path.string() + " tcp-probe 198.18.0.10 7 10");
        std::optional<Route> seen;
        const bool recorded = waitUntil(
            [&] {
                for (const ConnectionRecord& record : state.records()) {
                    if (record.appPath != path.string() || record.status == ConnectionStatus::active) continue;
                    seen = Route{record.actionDescription, record.ruleName};
                    return true;
                }
                return false;
            },
            10s);
        EXPECT_TRUE(recorded) << "no finished record of " << path;
        return seen.value_or(Route{"no record", std::nullopt});
    }

    fs::path trusted;
    platform::testing::TemporaryDirectory folder;
    RealAppModel model{topology()->socketPath(), folder.path()};
    AppState& state = model.state;
};

TEST_F(SimulatorEndToEnd, TheSimulatorRoutesAProgramAsTheDaemonDoes) {
    ExtensionManager& manager = state.extensionManager();
    ASSERT_TRUE(waitUntil([&] { return manager.extensionStatus() == ExtensionStatus::installed(); }));
    state.setProfile(byName());
    state.saveProfile();
    manager.start();
    ASSERT_TRUE(waitUntil([&] { return manager.engineStatus() == EngineStatus::running(); }, 10s));
    auto poll = state.pollRecords();

    // Before the daemon has seen either copy: the program of that name on the search path.
    const Route unverifiedByName = simulated(kProgramName, {unverified().parent_path()});
    const Route verifiedByName = simulated(kProgramName, {trusted});
    const Route unverifiedByPath = simulated(unverified().string());
    const Route verifiedByPath = simulated(verified().string());

    const Route unverifiedRan = ranThroughTheDaemon(unverified());
    EXPECT_EQ(unverifiedRan, (Route{"Proxy: dante", std::nullopt})) << "a claimed name is not trusted";
    EXPECT_EQ(unverifiedByName, unverifiedRan);
    EXPECT_EQ(unverifiedByPath, unverifiedRan);
    EXPECT_EQ(simulated(kProgramName), unverifiedRan) << "the daemon's newest record of that name";

    const Route verifiedRan = ranThroughTheDaemon(verified());
    EXPECT_EQ(verifiedRan, (Route{"Block", "Peer by name"}));
    EXPECT_EQ(verifiedByName, verifiedRan);
    EXPECT_EQ(verifiedByPath, verifiedRan);
    EXPECT_EQ(simulated(kProgramName), verifiedRan) << "the daemon's newest record of that name";
}

}  // namespace
}  // namespace corvane::app::testing
