#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "Model/ProxyHealthMonitor.hpp"
#include "Support/EventLoop.hpp"
#include "Support/FakeProxyProber.hpp"
#include "Support/ManualScheduler.hpp"
#include "Support/Profiles.hpp"

namespace corvane::app::testing {
namespace {

using namespace std::chrono_literals;
using Outcome = ProxyProber::Outcome;

Outcome established(std::chrono::nanoseconds elapsed) { return ProxyProber::Established{elapsed}; }
Outcome failed(std::string text) { return ProxyProber::Failed{std::move(text)}; }

class ProxyHealthMonitorTest : public ::testing::Test {
protected:
    FakeProxyProber prober;
    ManualScheduler scheduler;
    ProxyHealthMonitor monitor{prober, scheduler, "probe.test", 443};
    const ProxyServer a = proxyNamed("A");
    const ProxyServer b = proxyNamed("B");

    std::optional<ProxyTestState> stateOf(const ProxyServer& proxy) const {
        const auto it = monitor.states().find(proxy.id);
        return it == monitor.states().end() ? std::nullopt : std::optional(it->second);
    }
    void finish(std::size_t probe, Outcome outcome) {
        prober.probes.at(probe).finish(std::move(outcome));
        settle();
    }
};

TEST_F(ProxyHealthMonitorTest, AProbeShowsTestingThenItsOutcome) {
    const std::vector<std::pair<Outcome, ProxyTestState>> cases = {
        {established(12900us), ProxyTestState::success(12)},
        {established(999999ns), ProxyTestState::success(0)},
        {established(3h), ProxyTestState::success(10'800'000)},
        {failed("Connection refused — nothing is listening on that port."),
         ProxyTestState::failure("Connection refused — nothing is listening on that port.")},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        monitor.probe(a);
        EXPECT_EQ(stateOf(a), ProxyTestState::testing());
        EXPECT_EQ(prober.probes.back().host, "probe.test");
        EXPECT_EQ(prober.probes.back().port, 443);
        EXPECT_EQ(prober.probes.back().proxy, a);
        finish(i, cases[i].first);
        EXPECT_EQ(stateOf(a), cases[i].second);
    }
}

TEST_F(ProxyHealthMonitorTest, OnlyTheNewestProbeOfAProxyCounts) {
    monitor.probe(a);
    monitor.probe(a);
    finish(1, failed("second"));
    finish(0, established(5ms));
    EXPECT_EQ(stateOf(a), ProxyTestState::failure("second"));

    monitor.probe(b);
    monitor.probe(b);
    finish(2, established(5ms));
    EXPECT_EQ(stateOf(b), ProxyTestState::testing());
    finish(3, established(7ms));
    EXPECT_EQ(stateOf(b), ProxyTestState::success(7));
}

// Whatever gives a probe up cancels it at once (the prober closes its
// connection) and only that probe: a newer probe of the same proxy,
// invalidate, the page leaving (stopProbes) and the monitor's end.
TEST_F(ProxyHealthMonitorTest, AProbeGivenUpIsCancelledAndOthersRunOn) {
    using Monitor = std::unique_ptr<ProxyHealthMonitor>;
    const struct {
        const char* what;
        std::function<void(Monitor&)> giveUp;
        std::optional<ProxyTestState> aAfter;
        bool bCancelled;
    } cases[] = {
        {"a newer probe", [&](Monitor& m) { m->probe(a); }, ProxyTestState::testing(), false},
        {"invalidate", [&](Monitor& m) { m->invalidate(a.id); }, std::nullopt, false},
        {"the page left", [](Monitor& m) { m->stopProbes(); }, std::nullopt, true},
        {"the monitor's end", [](Monitor& m) { m.reset(); }, std::nullopt, true},
    };
    for (const auto& c : cases) {
        prober.probes.clear();
        Monitor local = std::make_unique<ProxyHealthMonitor>(prober, scheduler, "probe.test", 443);
        local->probe(b);
        local->probe(a);
        c.giveUp(local);
        ASSERT_GE(prober.probes.size(), 2u) << c.what;
        EXPECT_TRUE(prober.probes[1].cancelled()) << c.what;
        EXPECT_EQ(prober.probes[0].cancelled(), c.bCancelled) << c.what;
        if (!local) continue;
        finish(1, established(5ms));
        const auto state = local->states().find(a.id);
        EXPECT_EQ(state == local->states().end() ? std::nullopt : std::optional(state->second), c.aAfter) << c.what;
    }
}

TEST_F(ProxyHealthMonitorTest, InvalidateForgetsTheStateAndTheRunningProbe) {
    monitor.probe(a);
    monitor.invalidate(a.id);
    EXPECT_EQ(stateOf(a), std::nullopt);
    finish(0, established(5ms));
    EXPECT_EQ(stateOf(a), std::nullopt);
}

TEST_F(ProxyHealthMonitorTest, PeriodicChecksProbeTheCurrentListAtOnceAndAfterEachPeriod) {
    std::vector<ProxyServer> list;
    auto checks = monitor.runPeriodicChecks([&] { return list; }, 60s);
    EXPECT_TRUE(prober.probes.empty());
    scheduler.advance(60s);
    scheduler.advance(60s);
    EXPECT_TRUE(prober.probes.empty()) << "an empty list only sleeps";
    EXPECT_EQ(scheduler.pending(), 1u);

    list = {a, b};
    scheduler.advance(59s);
    EXPECT_TRUE(prober.probes.empty());
    scheduler.advance(1s);
    ASSERT_EQ(prober.probes.size(), 2u);
    EXPECT_EQ(prober.probes[0].proxy, a);
    EXPECT_EQ(prober.probes[1].proxy, b);
    scheduler.advance(60s);
    EXPECT_EQ(prober.probes.size(), 4u);

    checks.reset();
    EXPECT_EQ(scheduler.pending(), 0u);
    scheduler.advance(600s);
    EXPECT_EQ(prober.probes.size(), 4u);
}

TEST_F(ProxyHealthMonitorTest, ChecksStartWithAProbeOfEveryListedProxy) {
    auto checks = monitor.runPeriodicChecks([&] { return std::vector{a, b}; }, 60s);
    ASSERT_EQ(prober.probes.size(), 2u);
    EXPECT_EQ(stateOf(a), ProxyTestState::testing());
    EXPECT_EQ(stateOf(b), ProxyTestState::testing());
}

}  // namespace
}  // namespace corvane::app::testing
