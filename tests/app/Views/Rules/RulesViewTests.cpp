// The Rules page and its sheets as widgets: the reorder path, the mini switch,
// the rule editor's Save and action picker, the chain editor's Use button, the
// pickers, and a look at each.
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>
#include <fstream>
#include <gtest/gtest.h>

#include "Presenters/EditorFixture.hpp"
#include "Support/Profiles.hpp"
#include "Views/Rules/AppPickerDialog.hpp"
#include "Views/Rules/ChainEditorDialog.hpp"
#include "Views/Rules/HopRowDelegate.hpp"
#include "Views/Rules/PatternListEditor.hpp"
#include "Views/Rules/PickerRowDelegate.hpp"
#include "Views/Rules/PresetPickerDialog.hpp"
#include "Views/Rules/ReorderableListView.hpp"
#include "Views/Rules/RuleEditorDialog.hpp"
#include "Views/Rules/RuleRowDelegate.hpp"
#include "Views/Rules/RulesListModel.hpp"
#include "Views/Rules/RulesPage.hpp"
#include "Views/Rules/PickerSearchBar.hpp"
#include "Views/Support/Screenshot.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;

void click(QWidget* widget, QPoint position) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, position, widget->mapToGlobal(position), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

Rule ruleOf(std::string name, RuleAction action = RuleAction::direct(), UUID id = UUID::random()) {
    Rule rule = RulesPresenter::newRule();
    rule.id = id;
    rule.name = std::move(name);
    rule.action = std::move(action);
    return rule;
}

class RulesViewTest : public EditorFixture {
protected:
    const ProxyServer office = proxyNamed("Office", std::nullopt, "office.example", 1080);
    const ProxyServer home = proxyNamed("Home", std::nullopt, "home.example", 8080);

    void startWith(std::vector<Rule> rules) {
        Profile profile = profileWith({office, home});
        profile.rules = std::move(rules);
        start(profile);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> names;
        for (const Rule& rule : state->profile().rules) names.push_back(rule.name);
        return names;
    }
    static QStringList rowNames(const RulesPage& page) {
        QStringList names;
        for (int row = 0; row < page.model()->rowCount(); ++row)
            names << page.model()->index(row).data(Qt::DisplayRole).toString();
        return names;
    }
};

TEST_F(RulesViewTest, TheListsReorderGoesThroughOneMoveAndShowsTheNewOrder) {
    startWith({ruleOf("A"), ruleOf("B"), ruleOf("C")});
    RulesPage page(*state);
    page.list()->setCurrentIndex(page.model()->index(2));
    EXPECT_EQ(savesDuring([&] { page.list()->moveSelection(0); }), 1u);
    EXPECT_EQ(rowNames(page), (QStringList{"C", "A", "B"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"C", "A", "B"}));
}

TEST_F(RulesViewTest, TheMiniSwitchFlipsItsOwnRowEvenWhenAnotherRuleHasItsId) {
    const UUID shared = UUID::random();
    startWith({ruleOf("First", RuleAction::direct(), shared), ruleOf("Second", RuleAction::direct(), shared)});
    RulesPage page(*state);
    page.resize(700, 400);
    page.show();
    settle();
    const QRect row = page.list()->visualRect(page.model()->index(1));
    EXPECT_EQ(savesDuring([&] { click(page.list()->viewport(), RuleRowDelegate::switchRect(row).center()); }), 1u);
    EXPECT_TRUE(state->profile().rules[0].isEnabled);
    EXPECT_FALSE(state->profile().rules[1].isEnabled);
    EXPECT_FALSE(page.model()->index(1).data(RulesListModel::EnabledRole).toBool());
    EXPECT_EQ(savesDuring([&] { click(page.list()->viewport(), row.center()); }), 0u) << "the row itself is no switch";
}

TEST_F(RulesViewTest, SaveIsDisabledWhileAFieldShowsErrors) {
    startWith({});
    RulesPage page(*state);
    page.addRule();
    RuleEditorDialog* editor = page.editor();
    ASSERT_NE(editor, nullptr);
    // 580 × 820, held to the test screen's 800 px.
    EXPECT_EQ(editor->size(), QSize(580, 800));
    EXPECT_EQ(editor->parentWidget(), &page);
    EXPECT_TRUE(editor->saveButton()->isEnabled());
    EXPECT_EQ(editor->ports()->countText(), "any");

    editor->ports()->textArea()->setPlainText("443\n70000");
    EXPECT_FALSE(editor->saveButton()->isEnabled());
    EXPECT_TRUE(editor->warning()->isVisibleTo(editor));
    EXPECT_EQ(editor->ports()->errorLines(), QStringList{"“70000” — Port 70000 is out of range (0–65535)."});
    EXPECT_EQ(editor->ports()->countText(), "2 entries");
    saveScreenshot(*editor, "rules-rule-editor-errors");

    editor->ports()->textArea()->setPlainText("443\n7000");
    EXPECT_TRUE(editor->saveButton()->isEnabled());
    EXPECT_FALSE(editor->warning()->isVisibleTo(editor));
    editor->nameField()->setText("   ");
    emit editor->nameField()->textEdited("   ");
    EXPECT_FALSE(editor->saveButton()->isEnabled());
    editor->nameField()->setText("Web");
    emit editor->nameField()->textEdited("Web");
    EXPECT_EQ(savesDuring([&] { editor->saveButton()->click(); }), 1u);
    settle();
    EXPECT_EQ(page.editor(), nullptr);
    ASSERT_EQ(state->profile().rules.size(), 1u);
    EXPECT_EQ(state->profile().rules[0].ports, (std::vector<PortRange>{PortRange(443), PortRange(7000)}));
}

// The Applications field's examples are what the daemon matches on Linux: a
// Flatpak app's ID, an executable name's glob and a path, each an entry the
// field takes; no signing team, which never matches here.
TEST_F(RulesViewTest, TheApplicationExamplesAreLinuxIdentifiers) {
    startWith({});
    RuleEditorDialog editor(*state, RulesPresenter::newRule());
    const QString examples = editor.applications()->textArea()->placeholderText();
    const QStringList lines = examples.split('\n');
    EXPECT_TRUE(PatternValidator::validateApplications(examples.toStdString()).empty()) << examples.toStdString();
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [](const QString& line) { return line.startsWith("team:"); }))
        << examples.toStdString();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) { return line.count('.') >= 2 && !line.contains('/'); }))
        << "a Flatpak app's ID";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) { return line.endsWith('*'); }))
        << "an executable name's glob";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) { return line.startsWith('/'); }))
        << "a path";
    saveScreenshot(editor, "rules-rule-editor-examples");
}

TEST(PatternListEditorTest, ScreenReadersNameTheFieldByItsTitle) {
    PatternListEditor editor("Target hosts", "example.com", 86);
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(editor.textArea());
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(QAccessible::Name), "Target hosts");
}

TEST_F(RulesViewTest, RebuildingTheActionOptionsNeverReplacesAChain) {
    const RuleAction chain = RuleAction::chain({office.id, home.id});
    startWith({ruleOf("Chained", chain)});
    RulesPage page(*state);
    page.editRow(0);
    RuleEditorDialog* editor = page.editor();
    QComboBox* action = editor->actionPicker();
    EXPECT_EQ(action->currentText(), "Chain: Office → Home");
    editor->hosts()->textArea()->setPlainText("example.com");
    action->setCurrentIndex(-1);
    Profile changed = state->profile();
    changed.defaultAction = RuleAction::block();
    state->setProfile(changed);
    EXPECT_EQ(editor->presenter().rule().action, chain);
    EXPECT_EQ(action->currentText(), "Chain: Office → Home");
    saveScreenshot(*editor, "rules-rule-editor");

    EXPECT_EQ(savesDuring([&] { editor->saveButton()->click(); }), 1u);
    EXPECT_EQ(state->profile().rules[0].action, chain);
    EXPECT_EQ(state->profile().rules[0].hosts, std::vector<std::string>{"example.com"});

    settle();
    page.editRow(0);
    editor = page.editor();
    emit editor->actionPicker()->activated(0);
    EXPECT_EQ(editor->presenter().rule().action, RuleAction::direct());
    EXPECT_EQ(editor->actionPicker()->count(), 4) << "the chain's option went with it";
}

TEST_F(RulesViewTest, TheChainEditorsUseButtonNeedsAHop) {
    startWith({ruleOf("Direct")});
    RulesPage page(*state);
    page.editRow(0);
    page.editor()->openChainEditor(ProxyListPurpose::chain);
    auto* chain = page.editor()->findChild<ChainEditorDialog*>();
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->size(), QSize(480, 480));
    EXPECT_FALSE(chain->useButton()->isEnabled());
    ASSERT_EQ(chain->addButtons().size(), 2);
    saveScreenshot(*chain, "rules-chain-editor-empty");
    chain->addButtons()[0]->click();
    settle();
    EXPECT_TRUE(chain->useButton()->isEnabled());
    saveScreenshot(*chain, "rules-chain-editor-one-hop");
    chain->addButtons()[0]->click();
    settle();
    EXPECT_TRUE(chain->addButtons().isEmpty()) << "every proxy is in the chain";
    saveScreenshot(*chain, "rules-chain-editor");

    const QRect first = chain->hops()->visualRect(chain->hops()->model()->index(0, 0));
    click(chain->hops()->viewport(), HopRowDelegate::removeRect(first).center());
    settle();
    EXPECT_EQ(chain->presenter().chain(), std::vector<UUID>{home.id});
    chain->useButton()->click();
    settle();
    EXPECT_EQ(page.editor()->presenter().rule().action, RuleAction::proxy(home.id));
    EXPECT_EQ(page.editor()->actionPicker()->currentText(), "Proxy: Home");

}

TEST_F(RulesViewTest, ThePresetPickerKeepsHiddenSelectionsAndSaysWhenNothingMatches) {
    startWith({});
    RulesPage page(*state);
    page.addRule();
    page.editor()->openPresetPicker();
    auto* picker = page.editor()->findChild<PresetPickerDialog*>();
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->size(), QSize(520, 560));
    // The presets name apps by their Linux app IDs ("org.telegram.desktop*"): no bundles here.
    EXPECT_EQ(picker->searchBar()->field()->placeholderText(), "Search services, domains or app IDs");
    EXPECT_FALSE(picker->addButton()->isEnabled());
    for (const QString id : {"telegram", "signal"}) {
        for (int row = 0; row < picker->list()->count(); ++row) {
            QListWidgetItem* item = picker->list()->item(row);
            if (item->data(PickerRowDelegate::IdRole).toString() == id) emit picker->list()->itemClicked(item);
        }
    }
    EXPECT_EQ(picker->selectionCount()->text(), "2 selected");
    picker->resize(520, 560);
    picker->show();
    settle();
    saveScreenshot(*picker, "rules-preset-picker");
    picker->searchBar()->field()->setText("  zz ");
    EXPECT_EQ(picker->nothingMatches()->text(), "Nothing matches “  zz ”");
    saveScreenshot(*picker, "rules-preset-picker-nothing-matches");
    picker->searchBar()->field()->setText("telegram");
    picker->addButton()->click();
    settle();
    RuleEditorDialog* editor = page.editor();
    EXPECT_EQ(editor->nameField()->text(), "Telegram + Signal");
    EXPECT_EQ(editor->applications()->text(), "org.telegram.desktop*\norg.signal.Signal*");
}

// Application folders with a few desktop entries, for the picker.
class AppPickerViewTest : public RulesViewTest {
protected:
    platform::testing::TemporaryDirectory folders;
    fs::path applications = folders.path() / "applications";

    void SetUp() override { fs::create_directories(applications); }
    void entry(const std::string& file, const std::string& name, const std::string& exec) const {
        std::ofstream(applications / file) << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=" << exec
                                           << "\nIcon=" << name << "\n";
    }
    InstalledAppsScanner::Sources sources() const { return {{applications}, {}, "C"}; }
};

TEST_F(AppPickerViewTest, ListsSeenAppsFirstAndHandsBackTheSelection) {
    entry("firefox.desktop", "Firefox", "/usr/lib/firefox-esr/firefox-esr %u");
    entry("editor.desktop", "Text Editor", "gedit --new-window");
    entry("term.desktop", "Terminal", "env TERM=xterm xterm");
    AppPickerDialog picker({"org.example.Tool", "firefox-esr"}, sources());
    EXPECT_TRUE(picker.isShowingSpinner());
    ASSERT_TRUE(waitUntil([&] { return !picker.isShowingSpinner(); }));
    QStringList rows;
    for (int row = 0; row < picker.list()->count(); ++row) rows << picker.list()->item(row)->text();
    EXPECT_EQ(rows, (QStringList{"Seen making connections", "Firefox", "Tool", "Installed", "Terminal",
                                 "Text Editor"}));
    emit picker.list()->itemClicked(picker.list()->item(2));
    emit picker.list()->itemClicked(picker.list()->item(4));
    picker.resize(520, 560);
    picker.show();
    settle();
    saveScreenshot(picker, "rules-app-picker");
    picker.searchBar()->field()->setText("edit");
    EXPECT_EQ(picker.list()->count(), 2) << "the Installed header stays";
    std::vector<InstalledApp> chosen;
    QObject::connect(&picker, &AppPickerDialog::chosen, [&](const std::vector<InstalledApp>& apps) { chosen = apps; });
    picker.addButton()->click();
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0].id, "org.example.Tool");
    EXPECT_EQ(chosen[1].id, "xterm");
}

TEST_F(AppPickerViewTest, ClosingThePickerDuringItsScanIsSafe) {
    for (int i = 0; i < 2000; ++i) entry("app" + std::to_string(i) + ".desktop", "App", "prog" + std::to_string(i));
    for (int round = 0; round < 3; ++round) {
        QWidget owner;
        QPointer<AppPickerDialog> picker = new AppPickerDialog({"seen"}, sources(), &owner);
        picker->setAttribute(Qt::WA_DeleteOnClose);
        picker->open();
        picker->reject();
        settle();
        EXPECT_TRUE(picker.isNull());
        QThreadPool::globalInstance()->waitForDone();
        settle();
    }
}

TEST_F(RulesViewTest, ScreenshotOfTheRulesPage) {
    Rule apps = ruleOf("Work apps", RuleAction::proxy(office.id));
    apps.applications = {"org.mozilla.firefox", "/usr/bin/curl"};
    apps.ports = {PortRange(443), PortRange(8000, 8999)};
    Rule chained = ruleOf("Streaming", RuleAction::chain({office.id, home.id}));
    chained.hosts = {"*.example.com", "10.0.0.0/8"};
    Rule off = ruleOf("Old block", RuleAction::block());
    off.isEnabled = false;
    Rule failover = ruleOf("Mail", RuleAction::failover({home.id, office.id}));
    failover.hosts = {"mail.example.com"};
    startWith({apps, chained, off, failover});
    RulesPage page(*state);
    page.resize(660, 420);
    saveScreenshot(page, "rules-page");
}

}  // namespace
}  // namespace corvane::app::testing
