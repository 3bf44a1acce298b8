#include "Presenters/EditorFixture.hpp"
#include "Presenters/Proxies/ProxiesPresenter.hpp"
#include "Support/Profiles.hpp"

namespace corvane::app::testing {
namespace {

using namespace std::chrono_literals;
using Kind = ProxyTestState::Kind;

class ProxiesPresenterTest : public EditorFixture {
protected:
    std::unique_ptr<ProxiesPresenter> presenter;

    void startWith(std::vector<ProxyServer> proxies) {
        start(profileWith(std::move(proxies)));
        presenter = std::make_unique<ProxiesPresenter>(*state);
    }
    void succeed(std::size_t probe, std::chrono::milliseconds elapsed) {
        prober.probes.at(probe).finish(ProxyProber::Established{elapsed});
        settle();
    }
    Kind kindOf(std::size_t row) const { return presenter->rows().at(row).indicator.kind; }
    std::vector<std::string> names() const {
        std::vector<std::string> names;
        for (const auto& proxy : state->profile().proxies) names.push_back(proxy.name);
        return names;
    }
};

TEST(ProxyRowTexts, SubtitleAndIndicatorFollowTheProxyAndItsHealth) {
    ProxyServer proxy = proxyNamed("A", std::nullopt, "proxy.example", 1080);
    EXPECT_EQ(ProxiesPresenter::subtitle(proxy), "SOCKS5 · proxy.example:1080");
    proxy.kind = ProxyProtocol::httpConnect;
    proxy.credentials = ProxyCredentials{"", ""};
    EXPECT_EQ(ProxiesPresenter::subtitle(proxy), "HTTPS (CONNECT) · proxy.example:1080 · auth");

    struct Case {
        ProxyTestState state;
        std::string text;
        std::string tooltip;
    };
    const std::vector<Case> cases = {
        {ProxyTestState::idle(), "", ""},
        {ProxyTestState::testing(), "", ""},
        {ProxyTestState::success(42), "42 ms", "Handshake through the proxy succeeded in 42 ms"},
        {ProxyTestState::failure("Connection refused — nothing is listening on that port."), "Failed",
         "Connection refused — nothing is listening on that port."},
    };
    for (const Case& c : cases) {
        const auto indicator = ProxiesPresenter::indicator(c.state);
        EXPECT_EQ(indicator.kind, c.state.kind);
        EXPECT_EQ(indicator.text, c.text);
        EXPECT_EQ(indicator.tooltip, c.tooltip);
    }
}

TEST_F(ProxiesPresenterTest, PeriodicChecksRunEvery60SecondsOnlyWhileShown) {
    startWith({proxyNamed("A"), proxyNamed("B")});
    scheduler.advance(10min);
    EXPECT_TRUE(prober.probes.empty()) << "not shown yet";
    presenter->setShown(true);
    EXPECT_EQ(prober.probes.size(), 2u) << "the first pass starts at once";
    EXPECT_EQ(kindOf(0), Kind::testing);
    scheduler.advance(59s);
    EXPECT_EQ(prober.probes.size(), 2u);
    presenter->append(proxyNamed("C"));
    scheduler.advance(1s);
    EXPECT_EQ(prober.probes.size(), 5u) << "each pass reads the current list";
    presenter->setShown(false);
    scheduler.advance(10min);
    EXPECT_EQ(prober.probes.size(), 5u);
    EXPECT_FALSE(presenter->checksRunning());
}

// Leaving the page, by hiding it or by its end, ends the probes still running:
// their rows go back to not tested; a finished probe keeps its outcome.
TEST_F(ProxiesPresenterTest, LeavingThePageEndsTheProbesStillRunning) {
    startWith({proxyNamed("A"), proxyNamed("B")});
    for (const bool destroyed : {false, true}) {
        prober.probes.clear();
        presenter = std::make_unique<ProxiesPresenter>(*state);
        presenter->setShown(true);
        ASSERT_EQ(prober.probes.size(), 2u);
        succeed(0, 5ms);
        if (destroyed) presenter.reset();
        else presenter->setShown(false);
        EXPECT_TRUE(prober.probes[1].cancelled()) << destroyed;
        const auto& states = state->proxyHealth().states();
        EXPECT_EQ(states.at(state->profile().proxies[0].id), ProxyTestState::success(5)) << destroyed;
        EXPECT_FALSE(states.contains(state->profile().proxies[1].id)) << destroyed;
    }
}

TEST_F(ProxiesPresenterTest, TestAndCheckAllProbeAndTheRowsShowTheOutcome) {
    startWith({proxyNamed("A"), proxyNamed("B")});
    EXPECT_EQ(kindOf(0), Kind::idle);
    presenter->test(1, state->profile().proxies[1].id);
    ASSERT_EQ(prober.probes.size(), 1u);
    EXPECT_EQ(prober.probes[0].proxy.name, "B");
    succeed(0, 12ms);
    EXPECT_EQ(presenter->rows()[1].indicator.text, "12 ms");
    presenter->checkAll();
    ASSERT_EQ(prober.probes.size(), 3u);
    EXPECT_EQ(prober.probes[1].proxy.name, "A");
    EXPECT_EQ(prober.probes[2].proxy.name, "B");
}

TEST_F(ProxiesPresenterTest, AnEditClearsTheHealthOnlyWhenSomethingChanged) {
    startWith({proxyNamed("A", "secret")});
    const ProxyServer stored = state->profile().proxies[0];
    presenter->test(0, stored.id);
    succeed(0, 5ms);

    EXPECT_EQ(savesDuring([&] { presenter->replace(0, stored); }), 1u);
    EXPECT_EQ(kindOf(0), Kind::success) << "an unchanged save keeps the health";

    ProxyServer renamed = stored;
    renamed.name = "A2";
    presenter->test(0, stored.id);
    EXPECT_EQ(savesDuring([&] { presenter->replace(0, renamed); }), 1u);
    EXPECT_EQ(kindOf(0), Kind::idle);
    succeed(1, 5ms);
    EXPECT_EQ(kindOf(0), Kind::idle) << "the running probe was cancelled";
    EXPECT_EQ(names(), std::vector<std::string>{"A2"});
}

TEST_F(ProxiesPresenterTest, AnEditOfADeletedProxySavesNothing) {
    startWith({proxyNamed("A"), proxyNamed("B")});
    ProxyServer edited = state->profile().proxies[1];
    presenter->remove(std::vector<std::size_t>{1});
    settle();
    edited.name = "B2";
    EXPECT_EQ(savesDuring([&] { presenter->replace(1, edited); }), 0u);
    EXPECT_EQ(names(), std::vector<std::string>{"A"});
    EXPECT_EQ(presenter->proxy(1, edited.id), std::nullopt);
}

TEST_F(ProxiesPresenterTest, DeleteForgetsHealthAndLeavesRulesNamingTheProxy) {
    const ProxyServer a = proxyNamed("A");
    const ProxyServer b = proxyNamed("B");
    Profile profile = profileWith({a, b}, RuleAction::proxy(a.id));
    Rule rule;
    rule.id = UUID::random();
    rule.action = RuleAction::chain({a.id, b.id});
    profile.rules = {rule};
    start(profile);
    presenter = std::make_unique<ProxiesPresenter>(*state);
    presenter->checkAll();
    succeed(0, 5ms);
    EXPECT_EQ(savesDuring([&] { presenter->remove(std::vector<std::size_t>{0}); }), 1u);
    EXPECT_EQ(names(), std::vector<std::string>{"B"});
    EXPECT_FALSE(state->proxyHealth().states().contains(a.id));
    EXPECT_EQ(state->profile().rules[0].action, rule.action);
    EXPECT_EQ(state->profile().defaultAction, RuleAction::proxy(a.id));
}

TEST_F(ProxiesPresenterTest, RepeatedIdsEditOnlyTheAddressedRow) {
    ProxyServer first = proxyNamed("First");
    ProxyServer second = first;
    second.name = "Second";
    startWith({first, second});
    ProxyServer edited = *presenter->proxy(1, first.id);
    EXPECT_EQ(edited.name, "Second");
    edited.port = 9050;
    EXPECT_EQ(savesDuring([&] { presenter->replace(1, edited); }), 1u);
    EXPECT_EQ(state->profile().proxies[0], first);
    EXPECT_EQ(state->profile().proxies[1], edited);
}

TEST_F(ProxiesPresenterTest, AddAppendsAFreshProxy) {
    startWith({proxyNamed("A")});
    const ProxyServer fresh = ProxiesPresenter::newProxy();
    EXPECT_EQ(fresh.name, "New Proxy");
    EXPECT_EQ(fresh.kind, ProxyProtocol::socks5);
    EXPECT_EQ(fresh.host, "");
    EXPECT_EQ(fresh.port, 1080);
    EXPECT_EQ(fresh.credentials, std::nullopt);
    EXPECT_TRUE(fresh.resolvesHostnamesRemotely);
    EXPECT_NE(fresh.id, ProxiesPresenter::newProxy().id);
    EXPECT_EQ(savesDuring([&] { presenter->append(fresh); }), 1u);
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "New Proxy"}));
}

}  // namespace
}  // namespace corvane::app::testing
