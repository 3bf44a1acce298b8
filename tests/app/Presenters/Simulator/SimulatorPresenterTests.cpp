// The rule simulator over the model's profile: the fields it accepts, the
// verdict banner and the trace rows.
#include "Presenters/Simulator/SimulatorPresenter.hpp"
#include "Support/PageFixture.hpp"
#include "Support/Profiles.hpp"

namespace corvane::app::testing {
namespace {

using Result = SimulatorPresenter::Row::Result;

class SimulatorPresenterTest : public PageFixture {
protected:
    const ProxyServer office = proxyNamed("Office");
    const ProxyServer home = proxyNamed("Home");
    // Programs are known only from the daemon's records: nothing on a search path.
    SimulatorPresenter presenter{*state, ProgramLookup({{}, folder.path() / "no-flatpaks"})};

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
    EXPECT_EQ(rows[0].reason, "application (unknown app) matches none of {org.mozilla.firefox}");
}

// The daemon trusts a program's claimed name only when its executable is
// verified, over TCP and UDP alike; the simulator says the same.
TEST_F(SimulatorPresenterTest, ANameMatchesOnlyWhereTheDaemonWouldTrustIt) {
    useRules({ruleNamed("Browser", RuleAction::block(), {"example.com"}, {"org.mozilla.firefox"})});
    const auto seen = [](std::string path, bool valid) {
        ConnectionRecord record = recordOf("org.mozilla.firefox");
        record.appPath = std::move(path);
        record.appIdentity = CodeIdentity{valid, std::nullopt, false};
        return record;
    };
    const struct {
        const char* what;
        std::vector<ConnectionRecord> records;
        TransportProtocol transport;
        std::optional<QString> rule;
        QString reason;
    } cases[] = {
        {"a name no known program backs", {}, TransportProtocol::tcp, std::nullopt,
         "application (unknown app) — claims to be “org.mozilla.firefox”, signature not verified matches none of "
         "{org.mozilla.firefox}"},
        {"a program the daemon saw unverified", {seen("/tmp/firefox", false)}, TransportProtocol::tcp, std::nullopt,
         "application /tmp/firefox — claims to be “org.mozilla.firefox”, signature not verified matches none of "
         "{org.mozilla.firefox}"},
        {"a program the daemon verified", {seen("/app/lib/firefox/firefox", true), seen("/tmp/firefox", false)},
         TransportProtocol::tcp, "Browser",
         "matched: application in {org.mozilla.firefox}, target in {example.com}"},
        {"UDP, verified alike", {seen("/tmp/firefox", false)}, TransportProtocol::udp, std::nullopt,
         "application /tmp/firefox — claims to be “org.mozilla.firefox”, signature not verified matches none of "
         "{org.mozilla.firefox}"},
    };
    for (const auto& c : cases) {
        showRecords(c.records);
        presenter.setTransport(c.transport);
        presenter.setApplication(" org.mozilla.firefox ");
        presenter.simulate();
        EXPECT_EQ(matchedRule(), c.rule) << c.what;
        ASSERT_EQ(presenter.rows().size(), 1u) << c.what;
        EXPECT_EQ(presenter.rows()[0].reason, c.reason) << c.what;
    }
}

}  // namespace
}  // namespace corvane::app::testing
