// The rule simulator over the model's profile: the fields it accepts, the
// verdict banner and the trace rows.
#include "Support/Profiles.hpp"
#include "Views/Simulator/SimulatorPresenter.hpp"
#include "Views/Support/PageFixture.hpp"

namespace corvane::app::testing {
namespace {

using Result = SimulatorPresenter::Row::Result;

class SimulatorPresenterTest : public PageFixture {
protected:
    const ProxyServer office = proxyNamed("Office");
    const ProxyServer home = proxyNamed("Home");
    SimulatorPresenter presenter{*state};

    void useRules(std::vector<Rule> rules, RuleAction defaultAction = RuleAction::direct()) {
        Profile profile = profileWith({office, home}, std::move(defaultAction));
        profile.rules = std::move(rules);
        state->setProfile(std::move(profile));
    }
    std::optional<QString> matchedRule() const {
        if (!presenter.trace() || !presenter.trace()->matchedRule) return std::nullopt;
        return QString::fromStdString(presenter.trace()->matchedRule->name);
    }
};

TEST_F(SimulatorPresenterTest, ThePortIsTrimmedAndReadAsAnUnsigned16BitNumber) {
    const struct {
        const char* text;
        std::optional<std::uint16_t> port;
    } cases[] = {
        {"443", 443}, {" 443 ", 443}, {"\t8080", 8080}, {"+80", 80}, {"0", 0}, {"65535", 65535},
        {"65536", std::nullopt}, {"-1", std::nullopt}, {"", std::nullopt}, {"  ", std::nullopt},
        {"abc", std::nullopt}, {"4 43", std::nullopt}, {"0x50", std::nullopt},
    };
    presenter.simulate();
    for (const auto& c : cases) {
        EXPECT_EQ(SimulatorPresenter::port(c.text), c.port) << "“" << c.text << "”";
        presenter.setPortText(c.text);
        EXPECT_EQ(presenter.trace().has_value(), c.port.has_value()) << "“" << c.text << "”";
        if (c.port) {
            EXPECT_EQ(presenter.trace()->action, RuleAction::direct());
        }
    }
}

TEST_F(SimulatorPresenterTest, TheTraceAppearsWithThePageAndFollowsFieldsButNotTheProfile) {
    EXPECT_FALSE(presenter.trace());
    EXPECT_EQ(presenter.host(), "example.com");
    useRules({ruleNamed("Examples", RuleAction::block(), {"example.com"})});
    presenter.simulate();
    EXPECT_EQ(matchedRule(), "Examples");

    useRules({});
    EXPECT_EQ(matchedRule(), "Examples") << "a profile change alone does not refresh";
    presenter.setTransport(TransportProtocol::udp);
    EXPECT_EQ(matchedRule(), std::nullopt);

    presenter.setHost("   ");
    EXPECT_FALSE(presenter.trace()) << "a blank host shows the placeholder";
}

TEST_F(SimulatorPresenterTest, AnAddressIsMatchedAgainstNetworksAndANameAgainstNames) {
    useRules({ruleNamed("Private", RuleAction::proxy(office.id), {"10.0.0.0/8"}),
              ruleNamed("Names", RuleAction::chain({office.id, home.id}), {"*.example"})});
    const struct {
        const char* host;
        std::optional<QString> rule;
    } cases[] = {
        {"10.0.0.5", "Private"},
        {" 10.0.0.5 ", "Private"},
        {"::ffff:10.0.0.5", "Private"},
        {"11.0.0.5", std::nullopt},
        {"ten.example", "Names"},
        {"10.0.0.5.example", "Names"},
    };
    for (const auto& c : cases) {
        presenter.setHost(c.host);
        EXPECT_EQ(matchedRule(), c.rule) << c.host;
    }
}

TEST_F(SimulatorPresenterTest, TheBannerNamesTheActionAndWhatDecided) {
    const Rule decisive = ruleNamed("Tunnel", RuleAction::chain({office.id, home.id}), {"example.com"});
    useRules({ruleNamed("Off", RuleAction::block(), {}, {}, false),
              ruleNamed("Elsewhere", RuleAction::direct(), {"x.org"}), decisive,
              ruleNamed("Later", RuleAction::block())});
    presenter.simulate();
    const auto banner = presenter.banner();
    EXPECT_EQ(banner.kind, RuleAction::Kind::chain);
    EXPECT_EQ(banner.label, "Chain: Office → Home");
    EXPECT_EQ(banner.subtitle, "via rule “Tunnel”");

    const auto rows = presenter.rows();
    ASSERT_EQ(rows.size(), 3u) << "the trace stops at the decisive rule";
    EXPECT_EQ(rows[0].result, Result::disabled);
    EXPECT_EQ(rows[0].reason, "Rule is disabled");
    EXPECT_EQ(rows[1].result, Result::noMatch);
    EXPECT_FALSE(rows[1].isDecisive);
    EXPECT_EQ(rows[2].result, Result::match);
    EXPECT_TRUE(rows[2].isDecisive);
    EXPECT_EQ(rows[2].ruleName, "Tunnel");
    EXPECT_EQ(rows[2].actionLabel, "Chain: Office → Home");
    EXPECT_EQ(presenter.defaultRow(), std::nullopt);
}

TEST_F(SimulatorPresenterTest, WithoutRulesOnlyTheDefaultActionRowShows) {
    useRules({}, RuleAction::proxy(home.id));
    presenter.simulate();
    EXPECT_EQ(presenter.banner().kind, RuleAction::Kind::proxy);
    EXPECT_EQ(presenter.banner().label, "Proxy: Home");
    EXPECT_EQ(presenter.banner().subtitle, "via default action");
    EXPECT_TRUE(presenter.rows().empty());
    EXPECT_EQ(presenter.defaultRow(), "No rule matched — default action applied: Proxy: Home");
}

TEST_F(SimulatorPresenterTest, AnEmptyApplicationIsNoApplicationAtAll) {
    useRules({ruleNamed("Browser", RuleAction::block(), {"example.com"}, {"org.mozilla.firefox"})});
    presenter.setApplication("   ");
    const auto rows = presenter.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].result, Result::noMatch);
    EXPECT_TRUE(rows[0].reason.contains("(unknown app)")) << rows[0].reason.toStdString();

    presenter.setApplication(" org.mozilla.firefox ");
    EXPECT_EQ(matchedRule(), "Browser");
    EXPECT_EQ(presenter.banner().kind, RuleAction::Kind::block);
}

}  // namespace
}  // namespace corvane::app::testing
