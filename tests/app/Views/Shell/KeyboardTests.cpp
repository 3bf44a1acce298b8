// The app from the keyboard and through assistive technology: every control
// has a name, every sheet answers Return and Escape wherever the focus is, the
// sidebar follows the arrow keys and Tab leads into the page and back, and the
// lists' rows open, toggle, delete and show their menus by key.
#include <functional>
#include <memory>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "Support/FakeDesktopServices.hpp"
#include "Support/Profiles.hpp"
#include "Views/Connections/ConnectionDetailSheet.hpp"
#include "Views/Proxies/ProxiesPage.hpp"
#include "Views/Proxies/ProxyEditorDialog.hpp"
#include "Views/Rules/AppPickerDialog.hpp"
#include "Views/Rules/ChainEditorDialog.hpp"
#include "Views/Rules/PatternListEditor.hpp"
#include "Views/Rules/PresetPickerDialog.hpp"
#include "Views/Rules/ReorderableListView.hpp"
#include "Views/Rules/RuleEditorDialog.hpp"
#include "Views/Rules/RulesListModel.hpp"
#include "Views/Rules/RulesPage.hpp"
#include "Views/Settings/AcknowledgementsSheet.hpp"
#include "Views/Shell/AboutDialog.hpp"
#include "Views/Shell/MainWindow.hpp"
#include "Views/Shell/PageHost.hpp"
#include "Views/Shell/UpdateDialog.hpp"
#include "Views/Support/ShellFixture.hpp"

namespace corvane::app::testing {
namespace {

// "QLineEdit "host" in ProxyEditorDialog > QGroupBox": enough to find it.
QString describe(const QWidget* widget) {
    QStringList path;
    for (const QWidget* up = widget->parentWidget(); up != nullptr && path.size() < 3; up = up->parentWidget())
        path << QString(up->metaObject()->className());
    return QString("%1 \"%2\" (\"%3\") in %4")
        .arg(widget->metaObject()->className(), widget->objectName(), widget->toolTip(), path.join(" < "));
}

// What a screen reader would announce nothing for: controls Tab reaches whose
// accessible name (their own, their text, or their label's) is empty.
QStringList unnamedControls(const QWidget& root) {
    QStringList unnamed;
    for (QWidget* widget : root.findChildren<QWidget*>()) {
        if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisibleTo(&root)) continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        if (accessible != nullptr && !accessible->text(QAccessible::Name).trimmed().isEmpty()) continue;
        unnamed << describe(widget);
    }
    return unnamed;
}

// The controls Tab reaches in a window or a part of one, in its order.
QList<QWidget*> tabChain(QWidget& root) {
    QList<QWidget*> chain;
    for (QWidget* next = root.nextInFocusChain(); next != &root; next = next->nextInFocusChain()) {
        if (root.isAncestorOf(next) && (next->focusPolicy() & Qt::TabFocus) && next->isVisibleTo(&root) &&
            next->isEnabled())
            chain << next;
    }
    return chain;
}

// Neighbours in the tab order where Tab goes back up, or leftwards
// within a row: the order a reader does not expect.
QStringList backwardSteps(QWidget& root) {
    const QList<QWidget*> chain = tabChain(root);
    QStringList steps;
    for (qsizetype at = 1; at < chain.size(); ++at) {
        const QRect before(chain[at - 1]->mapTo(&root, QPoint()), chain[at - 1]->size());
        const QRect after(chain[at]->mapTo(&root, QPoint()), chain[at]->size());
        const bool sameRow = after.top() < before.bottom() && before.top() < after.bottom();
        if (sameRow ? after.left() < before.left() : after.top() < before.top())
            steps << describe(chain[at - 1]) + " → " + describe(chain[at]);
    }
    return steps;
}

bool activate(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// A sheet as a test opened it, and whether it handed its result back.
struct OpenSheet {
    QPointer<QDialog> dialog;
    std::shared_ptr<bool> handedBack = std::make_shared<bool>(false);
};

template <class Dialog, class Signal>
OpenSheet watch(Dialog* dialog, Signal signal) {
    OpenSheet sheet{dialog};
    QObject::connect(dialog, signal, [flag = sheet.handedBack](const auto&) { *flag = true; });
    return sheet;
}

class KeyboardTest : public ShellFixture {
protected:
    std::unique_ptr<AppShell> shell = makeShell();
    AppState& state = shell->state();
    MainWindow& window = shell->window();
    const ProxyServer office = proxyNamed("Office", std::nullopt, "office.example", 1080);
    const ProxyServer home = proxyNamed("Home", std::nullopt, "home.example", 8080);
    const ProxyServer spare = proxyNamed("Spare", std::nullopt, "spare.example", 1080);
    FakeDesktopServices desktop;
    QWidget owner;

    void SetUp() override {
        Profile profile = profileWith({office, home, spare});
        Rule rule = RulesPresenter::newRule();
        rule.name = "Web";
        rule.hosts = {"*.example.com"};
        Rule other = RulesPresenter::newRule();
        other.name = "Mail";
        other.action = RuleAction::proxy(office.id);
        profile.rules = {rule, other};
        state.setProfile(profile);
        state.saveProfile();
        settle();
    }

    struct SheetCase {
        const char* name;
        std::function<OpenSheet()> open;
        // Return anywhere hands the result back (or, for a sheet that only
        // shows something, closes it).
        bool handsBack = true;
        // What the user does first on the open sheet.
        std::function<void(QDialog&)> prepare = nullptr;
    };

    std::vector<SheetCase> sheets() {
        return {
            {"proxy editor",
             [this] { return watch(new ProxyEditorDialog(office, &owner), &ProxyEditorDialog::saved); }},
            {"rule editor",
             [this] {
                 return watch(new RuleEditorDialog(state, state.profile().rules[0], &owner), &RuleEditorDialog::saved);
             }},
            {"chain editor",
             [this] {
                 const std::vector<ProxyServer> proxies = {office, home, spare};
                 return watch(new ChainEditorDialog(proxies, ProxyListPurpose::chain, {office.id, home.id}, &owner),
                              &ChainEditorDialog::used);
             }},
            {"preset picker",
             [this] {
                 return watch(new PresetPickerDialog(&owner), &PresetPickerDialog::chosen);
             },
             true, checkFirstRow},
            {"app picker",
             [this] {
                 auto* picker = new AppPickerDialog({"org.example.Tool"}, {{}, {}, "C"}, &owner);
                 EXPECT_TRUE(waitUntil([&] { return !picker->isShowingSpinner(); }));
                 return watch(picker, &AppPickerDialog::chosen);
             },
             true, checkFirstRow},
            {"connection details",
             [this] {
                 ConnectionRecord record = recordOf("org.example.Tool", 1200, 5600);
                 record.target = "example.com:443";
                 return OpenSheet{new ConnectionDetailSheet(record, desktop, &owner)};
             },
             false},
            {"acknowledgements", [this] { return OpenSheet{new AcknowledgementsSheet(desktop, &owner)}; }, false},
            {"about", [this] { return OpenSheet{new AboutDialog(&owner)}; }, false},
        };
    }

    // Checks the first item of a picker with Space, as a user would.
    static void checkFirstRow(QDialog& sheet) {
        auto* list = sheet.findChild<QListWidget*>();
        ASSERT_NE(list, nullptr);
        list->setFocus(Qt::TabFocusReason);
        for (int row = 0; row < list->count(); ++row) {
            if (!(list->item(row)->flags() & Qt::ItemIsSelectable)) continue;
            list->setCurrentRow(row);
            QTest::keyClick(list, Qt::Key_Space);
            return;
        }
        FAIL() << "the picker has no items";
    }

    OpenSheet openSheet(const SheetCase& sheet) {
        OpenSheet open = sheet.open();
        open.dialog->setAttribute(Qt::WA_DeleteOnClose);
        open.dialog->open();
        EXPECT_TRUE(activate(*open.dialog));
        if (sheet.prepare) sheet.prepare(*open.dialog);
        return open;
    }
};

TEST_F(KeyboardTest, EveryControlOnEveryPageAndSheetHasAName) {
    window.show();
    for (const SidebarItem item : kSidebarItems) {
        window.pageHost().select(item);
        settle();
        SCOPED_TRACE(std::string(toString(item)));
        EXPECT_EQ(unnamedControls(window), QStringList{}) << "controls without an accessible name";
    }
    for (const SheetCase& sheet : sheets()) {
        SCOPED_TRACE(sheet.name);
        OpenSheet open = openSheet(sheet);
        EXPECT_EQ(unnamedControls(*open.dialog), QStringList{}) << "controls without an accessible name";
        open.dialog->reject();
    }
}

TEST_F(KeyboardTest, TabFollowsTheReadingOrderOnEveryPageAndSheet) {
    window.resize(MainWindow::kMinimumWidth, MainWindow::kMinimumHeight);
    window.show();
    for (const SidebarItem item : kSidebarItems) {
        window.pageHost().select(item);
        settle();
        SCOPED_TRACE(std::string(toString(item)));
        EXPECT_EQ(backwardSteps(*window.pageHost().page()), QStringList{});
    }
    for (const SheetCase& sheet : sheets()) {
        SCOPED_TRACE(sheet.name);
        OpenSheet open = openSheet(sheet);
        EXPECT_EQ(backwardSteps(*open.dialog), QStringList{});
        open.dialog->reject();
    }
}

TEST_F(KeyboardTest, ReturnAnywhereButInATextAreaPressesTheDefaultButtonAndEscapeCancels) {
    for (const SheetCase& sheet : sheets()) {
        SCOPED_TRACE(sheet.name);
        OpenSheet probe = openSheet(sheet);
        const qsizetype controls = tabChain(*probe.dialog).size();
        probe.dialog->reject();
        settle();
        ASSERT_GT(controls, 0);
        for (qsizetype at = 0; at < controls; ++at) {
            OpenSheet open = openSheet(sheet);
            QWidget* control = tabChain(*open.dialog).value(at);
            ASSERT_NE(control, nullptr);
            SCOPED_TRACE(describe(control).toStdString());
            control->setFocus(Qt::TabFocusReason);
            auto* text = qobject_cast<QPlainTextEdit*>(control);
            const bool editable = text != nullptr && !text->isReadOnly();
            const QString before = editable ? text->toPlainText() : QString();
            QTest::keyClick(control, Qt::Key_Return);
            settle();
            if (editable) {
                EXPECT_FALSE(open.dialog.isNull()) << "Return in a text area closed the sheet";
                EXPECT_EQ(text->toPlainText().count('\n'), before.count('\n') + 1) << "Return inserts a line";
                EXPECT_FALSE(*open.handedBack);
                open.dialog->reject();
            } else {
                EXPECT_TRUE(open.dialog.isNull()) << "Return left the sheet open";
                EXPECT_EQ(*open.handedBack, sheet.handsBack);
            }
            settle();
        }
        OpenSheet escaped = openSheet(sheet);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        settle();
        EXPECT_TRUE(escaped.dialog.isNull()) << "Escape left the sheet open";
        EXPECT_FALSE(*escaped.handedBack) << "Escape handed a result back";
    }
}

TEST_F(KeyboardTest, TheSidebarFollowsTheArrowKeysAndTabLeadsIntoThePageAndBack) {
    ASSERT_TRUE(activate(window));
    PageHost& host = window.pageHost();
    QListWidget& sidebar = *host.sidebar();
    sidebar.setFocus(Qt::TabFocusReason);
    const struct {
        Qt::Key key;
        SidebarItem shown;
        const char* page;
    } steps[] = {
        {Qt::Key_Down, SidebarItem::rules, "RulesPage"},
        {Qt::Key_Down, SidebarItem::proxies, "ProxiesPage"},
        {Qt::Key_End, SidebarItem::settings, "SettingsPage"},
        {Qt::Key_Up, SidebarItem::simulator, "SimulatorPage"},
        {Qt::Key_Home, SidebarItem::connections, "ConnectionsPage"},
    };
    for (const auto& step : steps) {
        QTest::keyClick(&sidebar, step.key);
        settle();
        EXPECT_EQ(host.selection(), step.shown) << step.page;
        ASSERT_NE(host.page(), nullptr);
        EXPECT_EQ(host.page()->objectName(), step.page);
        ASSERT_EQ(QApplication::focusWidget(), &sidebar) << step.page;

        QTest::keyClick(&sidebar, Qt::Key_Tab);
        QWidget* inPage = QApplication::focusWidget();
        ASSERT_NE(inPage, nullptr);
        EXPECT_TRUE(host.page()->isAncestorOf(inPage))
            << step.page << ": Tab from the sidebar went to " << describe(inPage).toStdString();
        QTest::keyClick(inPage, Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), &sidebar) << step.page << ": Shift+Tab from the page's first control";
        sidebar.setFocus(Qt::TabFocusReason);
    }
}

TEST_F(KeyboardTest, RuleRowsToggleOpenDeleteAndShowTheirMenuByKey) {
    RulesPage page(state);
    page.resize(660, 420);
    ASSERT_TRUE(activate(page));
    QListView& list = *page.list();
    list.setFocus(Qt::TabFocusReason);
    list.setCurrentIndex(page.model()->index(1));

    EXPECT_EQ(savesDuring([&] { QTest::keyClick(&list, Qt::Key_Space); }), 1u);
    EXPECT_FALSE(state.profile().rules[1].isEnabled) << "Space flips the current row's switch";
    EXPECT_TRUE(state.profile().rules[0].isEnabled);

    QTest::keyClick(&list, Qt::Key_Return);
    ASSERT_NE(page.editor(), nullptr) << "Return opens the row as a double click does";
    EXPECT_EQ(page.editor()->findChild<QLineEdit*>("name")->text(), "Mail");
    page.editor()->reject();
    settle();
    ASSERT_TRUE(activate(page));

    for (const auto& [key, modifiers] : {std::pair{Qt::Key_Menu, Qt::NoModifier},
                                         std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        QStringList shown;
        QTimer::singleShot(0, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* action : menu->actions()) shown << action->text();
                menu->close();
            }
        });
        QTest::keyClick(&list, key, modifiers);
        settle();
        EXPECT_EQ(shown, (QStringList{"Edit…", "Delete"})) << "the row's menu opens by key " << key;
    }

    ASSERT_TRUE(activate(page));
    list.setCurrentIndex(page.model()->index(0));
    EXPECT_EQ(savesDuring([&] { QTest::keyClick(&list, Qt::Key_Delete); }), 1u);
    ASSERT_EQ(state.profile().rules.size(), 1u);
    EXPECT_EQ(state.profile().rules[0].name, "Mail");
}

TEST_F(KeyboardTest, ProxyRowsOpenAndDeleteAndHopsLeaveTheChainByKey) {
    ProxiesPage page(state);
    page.resize(640, 360);
    ASSERT_TRUE(activate(page));
    QListWidget& list = *page.findChild<QListWidget*>("proxies");
    list.setFocus(Qt::TabFocusReason);
    list.setCurrentRow(1);
    QTest::keyClick(&list, Qt::Key_Return);
    ASSERT_NE(page.editor(), nullptr);
    EXPECT_EQ(page.editor()->findChild<QLineEdit*>("name")->text(), "Home");
    page.editor()->reject();
    settle();
    ASSERT_TRUE(activate(page));
    list.setCurrentRow(1);
    EXPECT_EQ(savesDuring([&] { QTest::keyClick(&list, Qt::Key_Backspace); }), 1u);
    ASSERT_EQ(state.profile().proxies.size(), 2u);
    EXPECT_EQ(state.profile().proxies[0].name, "Office");
    EXPECT_EQ(state.profile().proxies[1].name, "Spare");

    ChainEditorDialog chain({office, home}, ProxyListPurpose::chain, {office.id, home.id}, &owner);
    ASSERT_TRUE(activate(chain));
    auto* hops = chain.findChild<ReorderableListView*>();
    ASSERT_NE(hops, nullptr);
    hops->setFocus(Qt::TabFocusReason);
    hops->setCurrentIndex(hops->model()->index(0, 0));
    QTest::keyClick(hops, Qt::Key_Delete);
    settle();
    ASSERT_EQ(hops->model()->rowCount(), 1);
    EXPECT_EQ(hops->model()->index(0, 0).data().toString(), "Home");
    EXPECT_TRUE(chain.isVisible()) << "Delete removes the hop, not the sheet";
}

}  // namespace
}  // namespace corvane::app::testing
