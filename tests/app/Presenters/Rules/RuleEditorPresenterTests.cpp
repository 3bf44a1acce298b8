#include "CorvaneCore/Presets/PresetCatalog.hpp"
#include "Presenters/EditorFixture.hpp"
#include "Presenters/Rules/PatternListTexts.hpp"
#include "Presenters/Rules/RuleEditorPresenter.hpp"
#include "Presenters/Rules/RulesPresenter.hpp"
#include "Support/Profiles.hpp"

namespace corvane::app::testing {
namespace {

class RuleEditorPresenterTest : public EditorFixture {
protected:
    const ProxyServer a = proxyNamed("A");
    const ProxyServer b = proxyNamed("B");

    void SetUp() override { start(profileWith({a, b})); }

    RuleEditorPresenter editorFor(RuleAction action) {
        Rule rule = RulesPresenter::newRule();
        rule.action = std::move(action);
        return RuleEditorPresenter(*state, rule);
    }
    static std::vector<std::string> labels(const RuleEditorPresenter& editor) {
        std::vector<std::string> labels;
        for (const auto& option : editor.actionOptions()) labels.push_back(option.label);
        return labels;
    }
};

TEST_F(RuleEditorPresenterTest, SaveNeedsANameAndFieldsWithoutErrors) {
    struct Case {
        std::string name;
        std::string applications;
        std::string hosts;
        std::string ports;
        bool hasErrors;
        bool canSave;
    };
    const std::vector<Case> cases = {
        {"New Rule", "", "", "", false, true},
        {"", "", "", "", false, false},
        {"   ", "", "", "", false, false},
        {" \t ", "", "", "", false, false},
        {"  Mine  ", "", "", "", false, true},
        {"Mine", "", "", "70000", true, false},
        {"Mine", "", "https://example.com/path", "", true, false},
        {"Mine", "http://example.com", "", "", true, false},
        {"Mine", "/usr/bin/curl", "*.example.com", "443\n8000-8999", false, true},
    };
    for (const Case& c : cases) {
        RuleEditorPresenter editor = editorFor(RuleAction::direct());
        editor.setName(c.name);
        editor.setApplicationsText(c.applications);
        editor.setHostsText(c.hosts);
        editor.setPortsText(c.ports);
        EXPECT_EQ(editor.hasErrors(), c.hasErrors) << c.name << c.applications << c.hosts << c.ports;
        EXPECT_EQ(editor.canSave(), c.canSave) << "“" << c.name << "”";
        EXPECT_EQ(editor.save().has_value(), !c.hasErrors) << "only errors stop save(); the name is the button's";
        if (editor.save()) {
            EXPECT_EQ(editor.save()->name, c.name) << "the name is saved untrimmed";
        }
    }
}

TEST_F(RuleEditorPresenterTest, ABadPortShowsItsMessageUnderPortsOnly) {
    RuleEditorPresenter editor = editorFor(RuleAction::direct());
    editor.setPortsText("443\n70000");
    const auto errors = editor.portErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(PatternListTexts::errorLine(errors[0]), "“70000” — Port 70000 is out of range (0–65535).");
    EXPECT_TRUE(editor.applicationErrors().empty());
    EXPECT_TRUE(editor.hostErrors().empty());
    editor.setPortsText("443\n7000");
    EXPECT_TRUE(editor.canSave());
}

TEST_F(RuleEditorPresenterTest, SaveSplitsEntriesAndParsesPorts) {
    Rule rule = RulesPresenter::newRule();
    rule.transports = {TransportProtocol::udp};
    rule.isEnabled = false;
    RuleEditorPresenter editor(*state, rule);
    EXPECT_EQ(editor.applicationsText(), "");
    editor.setApplicationsText("org.mozilla.firefox,  /usr/bin/curl\n\n");
    editor.setHostsText("a.example, b.example");
    editor.setPortsText("443\n8000 - 8999");
    const auto saved = editor.save();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->applications, (std::vector<std::string>{"org.mozilla.firefox", "/usr/bin/curl"}));
    EXPECT_EQ(saved->hosts, (std::vector<std::string>{"a.example", "b.example"}));
    EXPECT_EQ(saved->ports, (std::vector<PortRange>{PortRange(443), PortRange(8000, 8999)}));
    EXPECT_EQ(saved->transports, rule.transports) << "the editor never changes the transports";
    EXPECT_FALSE(saved->isEnabled);

    RuleEditorPresenter reopened(*state, *saved);
    EXPECT_EQ(reopened.hostsText(), "a.example\nb.example");
    EXPECT_EQ(reopened.portsText(), "443\n8000-8999");
}

TEST_F(RuleEditorPresenterTest, AListActionHasItsOwnOptionUntilAnotherIsChosen) {
    struct Case {
        RuleAction action;
        std::string extraLabel;
    };
    const UUID missing = UUID::random();
    const std::vector<Case> cases = {
        {RuleAction::chain({a.id, b.id}), "Chain: A → B"},
        {RuleAction::chain({a.id, missing}), "Chain: A"},
        {RuleAction::failover({b.id, a.id}), "Failover: B, then A"},
        {RuleAction::failover({a.id, missing}), "Failover: A, then (missing)"},
    };
    const std::vector<std::string> base = {"Direct", "Block", "Proxy: A", "Proxy: B"};
    for (const Case& c : cases) {
        RuleEditorPresenter editor = editorFor(c.action);
        auto expected = base;
        expected.push_back(c.extraLabel);
        EXPECT_EQ(labels(editor), expected);
        EXPECT_EQ(editor.selectedAction(), 4u);
        editor.chooseAction(0);
        EXPECT_EQ(editor.rule().action, RuleAction::direct());
        EXPECT_EQ(labels(editor), base);
        EXPECT_EQ(editor.selectedAction(), 0u);
    }
    EXPECT_EQ(labels(editorFor(RuleAction::chain({}))), base) << "an empty list has no option";
}

TEST_F(RuleEditorPresenterTest, AnActionNamingADeletedProxyShowsNoSelectionAndIsKept) {
    const RuleAction action = RuleAction::proxy(UUID::random());
    RuleEditorPresenter editor = editorFor(action);
    EXPECT_EQ(editor.selectedAction(), std::nullopt);
    EXPECT_EQ(editor.save()->action, action);
    EXPECT_EQ(editorFor(RuleAction::proxy(b.id)).selectedAction(), 3u);
    EXPECT_EQ(editorFor(RuleAction::block()).selectedAction(), 1u);
}

TEST_F(RuleEditorPresenterTest, TheChainEditorsListBecomesTheAction) {
    struct Case {
        ProxyListPurpose purpose;
        std::vector<UUID> ids;
        RuleAction action;
    };
    const std::vector<Case> cases = {
        {ProxyListPurpose::chain, {}, RuleAction::direct()},
        {ProxyListPurpose::failover, {}, RuleAction::direct()},
        {ProxyListPurpose::chain, {a.id}, RuleAction::proxy(a.id)},
        {ProxyListPurpose::failover, {b.id}, RuleAction::proxy(b.id)},
        {ProxyListPurpose::chain, {b.id, a.id}, RuleAction::chain({b.id, a.id})},
        {ProxyListPurpose::failover, {a.id, b.id}, RuleAction::failover({a.id, b.id})},
    };
    for (const Case& c : cases) {
        RuleEditorPresenter editor = editorFor(RuleAction::block());
        editor.applyProxyList(c.purpose, c.ids);
        EXPECT_EQ(editor.rule().action, c.action);
    }
    RuleEditorPresenter single = editorFor(RuleAction::chain({a.id, b.id}));
    single.applyProxyList(ProxyListPurpose::chain, {a.id});
    EXPECT_EQ(labels(single).back(), "Proxy: B");
    EXPECT_EQ(single.selectedAction(), 2u) << "a chain of one shows as that proxy";
}

TEST_F(RuleEditorPresenterTest, TheChainEditorStartsFromTheCurrentAction) {
    EXPECT_EQ(editorFor(RuleAction::direct()).currentProxyList(), std::vector<UUID>{});
    EXPECT_EQ(editorFor(RuleAction::block()).currentProxyList(), std::vector<UUID>{});
    EXPECT_EQ(editorFor(RuleAction::proxy(a.id)).currentProxyList(), std::vector<UUID>{a.id});
    EXPECT_EQ(editorFor(RuleAction::chain({b.id, a.id})).currentProxyList(), (std::vector<UUID>{b.id, a.id}));
    EXPECT_EQ(editorFor(RuleAction::failover({a.id, b.id})).currentProxyList(), (std::vector<UUID>{a.id, b.id}));
}

TEST_F(RuleEditorPresenterTest, ListsNeedTwoProxies) {
    for (std::size_t count : {0u, 1u, 2u, 3u}) {
        std::vector<ProxyServer> proxies;
        for (std::size_t i = 0; i < count; ++i) proxies.push_back(proxyNamed("P" + std::to_string(i)));
        state->setProfile(profileWith(proxies));
        EXPECT_EQ(editorFor(RuleAction::direct()).canBuildProxyLists(), count >= 2) << count;
    }
}

TEST_F(RuleEditorPresenterTest, PresetsMergeWithoutDuplicatesAndRenameOnlyAnUnnamedRule) {
    const auto telegram = *PresetCatalog::preset("telegram");
    const auto signal = *PresetCatalog::preset("signal");
    const std::vector<std::pair<std::string, std::string>> names = {
        {"New Rule", "Telegram + Signal"}, {"", "Telegram + Signal"},  {"   ", "Telegram + Signal"},
        {" New Rule\t", "Telegram + Signal"}, {"new rule", "new rule"}, {"Mine", "Mine"},
    };
    for (const auto& [before, after] : names) {
        Rule rule = RulesPresenter::newRule();
        rule.name = before;
        RuleEditorPresenter editor(*state, rule);
        editor.setApplicationsText("org.signal.Signal*, custom");
        editor.setHostsText(" t.me ,\n\n");
        editor.addPresets({telegram, signal});
        EXPECT_EQ(editor.rule().name, after) << "“" << before << "”";
        EXPECT_EQ(editor.rule().matchMode, RuleMatchMode::any);
        EXPECT_EQ(editor.applicationsText(), "org.signal.Signal*\ncustom\norg.telegram.desktop*");
        EXPECT_EQ(editor.hostsText(),
                  "t.me\ntelegram.org\n*.telegram.org\n*.t.me\ntelegram.me\n*.cdn-telegram.org\nsignal.org\n"
                  "*.signal.org\n*.whispersystems.org");
    }
    RuleEditorPresenter untouched = editorFor(RuleAction::direct());
    untouched.setHostsText("a, b");
    untouched.addPresets({});
    EXPECT_EQ(untouched.hostsText(), "a, b") << "no presets change nothing";
    EXPECT_EQ(untouched.rule().matchMode, RuleMatchMode::all);
}

TEST_F(RuleEditorPresenterTest, ChosenAppsAreAddedOnceKeepingNameAndMode) {
    Rule rule = RulesPresenter::newRule();
    RuleEditorPresenter editor(*state, rule);
    editor.setApplicationsText("curl, org.example.Tool");
    editor.addApps({{"org.example.Tool", "Tool", "", "", true}, {"firefox-esr", "Firefox", "/x.desktop", "", false}});
    EXPECT_EQ(editor.applicationsText(), "curl\norg.example.Tool\nfirefox-esr");
    EXPECT_EQ(editor.rule().name, "New Rule");
    EXPECT_EQ(editor.rule().matchMode, RuleMatchMode::all);
}

TEST(PatternListTexts, CountLabelCountsTheValidatorsEntries) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "any"},        {"   ", "any"},          {"a", "1 entry"},  {"a, b", "2 entries"},
        {"a\n\n  \nb", "2 entries"}, {"a\na", "2 entries"}, {",,\n", "any"}, {"a\r\nb\u2028c", "3 entries"},
    };
    for (const auto& [text, label] : cases) EXPECT_EQ(PatternListTexts::countLabel(text), label) << text;
}

}  // namespace
}  // namespace corvane::app::testing
