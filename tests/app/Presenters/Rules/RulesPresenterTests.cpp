#include "Presenters/EditorFixture.hpp"
#include "Presenters/Rules/RulesPresenter.hpp"
#include "Support/Profiles.hpp"

namespace corvane::app::testing {
namespace {

Rule ruleNamed(std::string name, UUID id = UUID::random()) {
    Rule rule = RulesPresenter::newRule();
    rule.id = id;
    rule.name = std::move(name);
    return rule;
}

Profile profileOf(std::vector<Rule> rules) {
    Profile profile;
    profile.rules = std::move(rules);
    return profile;
}

class RulesPresenterTest : public EditorFixture {
protected:
    std::unique_ptr<RulesPresenter> presenter;

    void startWith(std::vector<Rule> rules) {
        presenter.reset();
        start(profileOf(std::move(rules)));
        presenter = std::make_unique<RulesPresenter>(*state);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> names;
        for (const Rule& rule : state->profile().rules) names.push_back(rule.name);
        return names;
    }
};

TEST(RuleSummary, ListsAppsHostsAndPortsOnlyWhenThereArePorts) {
    struct Case {
        std::vector<std::string> applications;
        std::vector<std::string> hosts;
        std::vector<PortRange> ports;
        std::string summary;
    };
    const std::vector<Case> cases = {
        {{}, {}, {}, "Any app → any host"},
        {{"a", "b"}, {}, {PortRange(443), PortRange(8000, 8999)}, "a, b → any host → ports 443, 8000-8999"},
        {{}, {"*.example.com", "10.0.0.0/8"}, {}, "Any app → *.example.com, 10.0.0.0/8"},
        {{"/usr/bin/curl"}, {"example.com"}, {PortRange(53)}, "/usr/bin/curl → example.com → ports 53"},
    };
    for (const Case& c : cases) {
        Rule rule = RulesPresenter::newRule();
        rule.applications = c.applications;
        rule.hosts = c.hosts;
        rule.ports = c.ports;
        rule.transports = {TransportProtocol::udp};
        rule.matchMode = RuleMatchMode::any;
        rule.isEnabled = false;
        EXPECT_EQ(RulesPresenter::summary(rule), c.summary);
    }
}

TEST_F(RulesPresenterTest, RowsShowNameSwitchSummaryAndActionLabel) {
    const ProxyServer proxy = proxyNamed("Office");
    Rule rule = ruleNamed("Work");
    rule.isEnabled = false;
    rule.action = RuleAction::proxy(proxy.id);
    Profile profile = profileOf({rule});
    profile.proxies = {proxy};
    start(profile);
    RulesPresenter rules(*state);
    const auto rows = rules.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "Work");
    EXPECT_FALSE(rows[0].isEnabled);
    EXPECT_EQ(rows[0].summary, "Any app → any host");
    EXPECT_EQ(rows[0].actionLabel, "Proxy: Office");
}

TEST_F(RulesPresenterTest, MovesFollowTheStandardListMoveWithOneSaveEach) {
    struct Case {
        std::vector<std::size_t> offsets;
        std::size_t destination;
        std::vector<std::string> order;
    };
    const std::vector<Case> cases = {
        {{3}, 0, {"D", "A", "B", "C"}},
        {{0}, 4, {"B", "C", "D", "A"}},
        {{0}, 2, {"B", "A", "C", "D"}},
        {{0, 2}, 4, {"B", "D", "A", "C"}},
        {{3, 1}, 0, {"B", "D", "A", "C"}},
        {{1, 2}, 1, {"A", "B", "C", "D"}},
        {{0, 3}, 2, {"B", "A", "D", "C"}},
    };
    for (const Case& c : cases) {
        startWith({ruleNamed("A"), ruleNamed("B"), ruleNamed("C"), ruleNamed("D")});
        EXPECT_EQ(savesDuring([&] { presenter->move(c.offsets, c.destination); }), 1u);
        EXPECT_EQ(names(), c.order);
        EXPECT_EQ(state->store().load().rules, state->profile().rules) << "the new order is what is stored";
    }
}

TEST_F(RulesPresenterTest, OperationsOnAVanishedRuleSaveNothingExceptTheContextDelete) {
    const Rule kept = ruleNamed("Kept");
    const Rule gone = ruleNamed("Gone");
    startWith({kept, gone});
    presenter->remove(1, gone.id);
    settle();
    Rule edited = gone;
    edited.name = "Edited";
    EXPECT_EQ(savesDuring([&] { presenter->setEnabled(1, gone.id, false); }), 0u);
    EXPECT_EQ(savesDuring([&] { presenter->replace(1, edited); }), 0u);
    EXPECT_EQ(presenter->rule(1, gone.id), std::nullopt);
    EXPECT_EQ(names(), std::vector<std::string>{"Kept"}) << "an edit of a deleted rule does not bring it back";
    EXPECT_EQ(savesDuring([&] { presenter->remove(1, gone.id); }), 1u) << "the context delete saves anyway";
    EXPECT_EQ(names(), std::vector<std::string>{"Kept"});
}

TEST_F(RulesPresenterTest, RepeatedIdsChangeOnlyTheAddressedRow) {
    const UUID shared = UUID::random();
    startWith({ruleNamed("First", shared), ruleNamed("Second", shared), ruleNamed("Other")});

    EXPECT_EQ(savesDuring([&] { presenter->setEnabled(1, shared, false); }), 1u);
    EXPECT_TRUE(state->profile().rules[0].isEnabled);
    EXPECT_FALSE(state->profile().rules[1].isEnabled);

    Rule edited = *presenter->rule(1, shared);
    EXPECT_EQ(edited.name, "Second");
    edited.name = "Second edited";
    EXPECT_EQ(savesDuring([&] { presenter->replace(1, edited); }), 1u);
    EXPECT_EQ(names(), (std::vector<std::string>{"First", "Second edited", "Other"}));

    EXPECT_EQ(savesDuring([&] { presenter->remove(0, shared); }), 1u);
    EXPECT_EQ(names(), (std::vector<std::string>{"Second edited", "Other"}));
}

TEST_F(RulesPresenterTest, ARowWhoseRuleMovedElsewhereFindsItById) {
    const Rule a = ruleNamed("A");
    const Rule b = ruleNamed("B");
    startWith({a, b});
    presenter->move({1}, 0);
    settle();
    presenter->setEnabled(0, a.id, false);
    EXPECT_TRUE(state->profile().rules[0].isEnabled) << "B, now at the row's old position";
    EXPECT_FALSE(state->profile().rules[1].isEnabled);
}

TEST_F(RulesPresenterTest, AddAppendsAFreshRuleAndListDeleteRemovesOffsets) {
    startWith({ruleNamed("A"), ruleNamed("B"), ruleNamed("C")});
    const Rule fresh = RulesPresenter::newRule();
    EXPECT_EQ(fresh.name, "New Rule");
    EXPECT_TRUE(fresh.isEnabled);
    EXPECT_TRUE(fresh.applications.empty() && fresh.hosts.empty() && fresh.ports.empty() && fresh.transports.empty());
    EXPECT_EQ(fresh.action, RuleAction::direct());
    EXPECT_EQ(fresh.matchMode, RuleMatchMode::all);
    EXPECT_NE(fresh.id, RulesPresenter::newRule().id);

    EXPECT_EQ(savesDuring([&] { presenter->append(fresh); }), 1u);
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "B", "C", "New Rule"}));
    EXPECT_EQ(savesDuring([&] { presenter->remove(std::vector<std::size_t>{0, 2}); }), 1u);
    EXPECT_EQ(names(), (std::vector<std::string>{"B", "New Rule"}));
}

}  // namespace
}  // namespace corvane::app::testing
