// The window under the desktop's light and dark palettes and on a
// high-density screen: every text stays readable against what it is drawn on,
// text on a selected row and the marks of a choice read at 4.5:1, and the
// window renders at the screen's density. Screenshots of each for review.
#include <cmath>
#include <memory>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <gtest/gtest.h>

#include "Views/Connections/ConnectionsPage.hpp"
#include "Views/Proxies/ProxyEditorDialog.hpp"
#include "Views/Proxies/ProxyRow.hpp"
#include "Views/Rules/ChainEditorDialog.hpp"
#include "Views/Rules/ReorderableListView.hpp"
#include "Views/Rules/RuleEditorDialog.hpp"
#include "Views/Rules/RulesListModel.hpp"
#include "Views/Rules/RulesPage.hpp"
#include "Views/Settings/SettingsPage.hpp"
#include "Views/Shell/MainWindow.hpp"
#include "Views/Shell/PageHost.hpp"
#include "Views/Simulator/SimulatorPage.hpp"
#include "Views/Support/Contrast.hpp"
#include "Views/Support/DesktopLookFixture.hpp"
#include "Views/Support/SampleRecords.hpp"
#include "Views/Support/Screenshot.hpp"

namespace corvane::app::testing {
namespace {

// The colour a label is drawn on: the nearest ancestor that fills its
// background (a list's viewport fills with its base colour), else the window.
QColor backgroundOf(const QWidget& label) {
    for (const QWidget* up = &label; up != nullptr; up = up->parentWidget()) {
        const auto* area = up->parentWidget() ? qobject_cast<const QAbstractScrollArea*>(up->parentWidget()) : nullptr;
        if (up->autoFillBackground() || (area != nullptr && area->viewport() == up) || up->isWindow())
            return up->palette().color(up->backgroundRole());
    }
    return label.palette().color(QPalette::Window);
}

// Visible labels whose text hardly stands out from their background. The
// faintest text the views use on purpose (placeholders, tertiary notes) keeps
// a ratio above 1.8 on light and dark palettes; black or white text on the
// wrong palette falls below it.
QStringList faintLabels(const QWidget& root) {
    QStringList faint;
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&root) || label->text().trimmed().isEmpty()) continue;
        const QColor text = label->palette().color(label->foregroundRole());
        const double ratio = contrast(text, backgroundOf(*label));
        if (ratio < 1.8) faint << QString("“%1” (%2 on %3, %4:1)")
                                     .arg(label->text().left(40), text.name(QColor::HexArgb),
                                          backgroundOf(*label).name(), QString::number(ratio, 'f', 2));
    }
    return faint;
}

class DesktopLookTest : public DesktopLookFixture {
protected:
    // What a case made, the widget to look at, its selected rows and the
    // buttons on them (which draw their own face), in that widget's coordinates.
    struct Selection {
        std::shared_ptr<QWidget> made;
        QWidget* shown = nullptr;
        std::vector<QRect> rows;
        std::vector<QRect> buttons;
    };
    struct SelectionCase {
        const char* name;
        std::function<Selection(AppShell&)> select;
    };

    // Every kind of list with its rows selected: the sidebar, the proxies with
    // their health, the rules with their switches, the connections flat and
    // grouped (an application and a record), and a chain's hops.
    std::vector<SelectionCase> selectionCases() {
        const auto connections = [this](AppShell& shell, bool grouped) {
            settings.setValue("connectionsGrouped", grouped);
            showRecords(shell.state(), sampleRecords());
            auto page = std::make_shared<ConnectionsPage>(shell.state(), settings, desktop);
            page->resize(860, 420);
            page->show();
            settle();
            return page;
        };
        return {
            {"sidebar",
             [](AppShell& shell) {
                 MainWindow& window = shell.window();
                 window.resize(980, 640);
                 window.show();
                 window.pageHost().select(SidebarItem::proxies);
                 QListWidget& sidebar = *window.pageHost().sidebar();
                 sidebar.setFocus();
                 return Selection{nullptr, &sidebar, {inView(sidebar, sidebar, sidebar.visualItemRect(sidebar.currentItem()))}, {}};
             }},
            {"proxies",
             [this](AppShell& shell) {
                 auto page = proxiesPageChecked(shell);
                 page->list()->selectAll();
                 Selection selection{page, page.get(), {}, {}};
                 for (int row = 0; row < page->list()->count(); ++row) {
                     QListWidget& list = *page->list();
                     selection.rows.push_back(inView(list, *page, list.visualItemRect(list.item(row))));
                     const QPushButton& test = *page->row(row)->testButton();
                     selection.buttons.emplace_back(test.mapTo(page.get(), QPoint()), test.size());
                 }
                 return selection;
             }},
            {"rules",
             [](AppShell& shell) {
                 auto page = std::make_shared<RulesPage>(shell.state());
                 page->resize(660, 300);
                 page->show();
                 page->list()->selectAll();
                 Selection selection{page, page.get(), {}, {}};
                 for (int row = 0; row < page->model()->rowCount(); ++row)
                     selection.rows.push_back(rowOf(*page->list(), *page, page->model()->index(row, 0)));
                 return selection;
             }},
            {"connection-table",
             [connections](AppShell& shell) {
                 auto page = connections(shell, false);
                 QTableView& table = *page->table();
                 // The blocked record: a rule in grey and a red badge.
                 const QModelIndexList found = table.model()->match(table.model()->index(0, 2), Qt::DisplayRole,
                                                                    "tracker.ads.example:443");
                 EXPECT_EQ(found.size(), 1);
                 const int blocked = found.value(0).row();
                 table.selectRow(blocked);
                 return Selection{page, page.get(), {rowOf(table, *page, table.model()->index(blocked, 0))}, {}};
             }},
            {"connection-groups",
             [connections](AppShell& shell) {
                 auto page = connections(shell, true);
                 QTreeView& list = *page->groupList();
                 const QModelIndex group = page->groupModel().indexOfGroup("org.mozilla.firefox");
                 list.expand(group);
                 list.setCurrentIndex(group);
                 return Selection{page, page.get(), {rowOf(list, *page, group)}, {}};
             }},
            {"connection-in-a-group",
             [connections](AppShell& shell) {
                 auto page = connections(shell, true);
                 QTreeView& list = *page->groupList();
                 const QModelIndex group = page->groupModel().indexOfGroup("org.mozilla.firefox");
                 list.expand(group);
                 // The failed one of the group's records, with its orange badge.
                 const QModelIndex record = page->groupModel().index(1, 0, group);
                 EXPECT_EQ(page->groupModel().record(record)->status, ConnectionStatus::failed);
                 list.setCurrentIndex(record);
                 return Selection{page, page.get(), {rowOf(list, *page, record)}, {}};
             }},
            {"chain-hops",
             [this](AppShell&) {
                 auto chain = std::make_shared<ChainEditorDialog>(std::vector{office, home}, ProxyListPurpose::chain,
                                                                  std::vector{office.id, home.id});
                 chain->show();
                 ReorderableListView& hops = *chain->hops();
                 hops.setCurrentIndex(hops.model()->index(0, 0));
                 return Selection{chain, chain.get(), {rowOf(hops, *chain, hops.model()->index(0, 0))}, {}};
             }},
        };
    }

};

bool isSelectionColour(const QColor& colour, const QPalette& palette) {
    return colour == palette.color(QPalette::Active, QPalette::Highlight) ||
           colour == palette.color(QPalette::Inactive, QPalette::Highlight);
}

TEST_F(DesktopLookTest, EveryPageAndTheEditorsStayReadableOnADarkPalette) {
    const DesktopPalette dark(Shade::dark);
    auto shell = shellWithProfile();
    MainWindow& window = shell->window();
    window.resize(980, 640);
    window.show();
    for (const SidebarItem item : kSidebarItems) {
        window.pageHost().select(item);
        settle();
        const std::string name(toString(item));
        SCOPED_TRACE(name);
        saveScreenshot(window, "dark-" + name);
        EXPECT_EQ(faintLabels(window), QStringList{}) << "labels that are hard to read";
    }
    RuleEditorDialog rule(shell->state(), shell->state().profile().rules[0], &window);
    saveScreenshot(rule, "dark-rule-editor");
    EXPECT_EQ(faintLabels(rule), QStringList{});
    ProxyEditorDialog proxy(home, &window);
    saveScreenshot(proxy, "dark-proxy-editor");
    EXPECT_EQ(faintLabels(proxy), QStringList{});
}

TEST_F(DesktopLookTest, TextAndMarksOnSelectedRowsReadInBothPalettes) {
    for (const Shade shade : {Shade::light, Shade::dark}) {
        const DesktopPalette palette(shade);
        for (const SelectionCase& selectionCase : selectionCases()) {
            SCOPED_TRACE(std::string(nameOf(shade)) + " " + selectionCase.name);
            auto shell = shellWithProfile();
            const Selection selection = selectionCase.select(*shell);
            settle();
            const QImage image = rendered(*selection.shown);
            const QPalette& shown = selection.shown->palette();
            for (const QRect& row : selection.rows) {
                ASSERT_TRUE(isSelectionColour(commonest(image, row), shown))
                    << "no selection shows on the row, " << commonest(image, row).name().toStdString();
                EXPECT_EQ(faintInk(image, row, commonest(image, row), 4.5, selection.buttons), QStringList{});
            }
            saveScreenshot(*selection.shown,
                           std::string("selected-") + selectionCase.name + "-" + nameOf(shade));
        }
    }
}

// The simulator's transport, the rule editor's match mode and the proxy
// editor's check boxes: the chosen segment, radio button and box show the
// selection colour, their text, dot and tick read at 4.5:1 on it, and every
// segment's text and the outline of what is not chosen read where they are.
TEST_F(DesktopLookTest, ChosenSegmentsRadioButtonsAndCheckBoxesShowTheSelectionInBothPalettes) {
    for (const Shade shade : {Shade::light, Shade::dark}) {
        SCOPED_TRACE(nameOf(shade));
        const DesktopPalette palette(shade);
        auto shell = shellWithProfile();
        SimulatorPage simulator(shell->state());
        simulator.resize(640, 420);
        const QImage segments = rendered(simulator);
        for (QAbstractButton* segment : simulator.transportButtons()->buttons()) {
            SCOPED_TRACE(segment->text().toStdString());
            const QRect area(segment->mapTo(&simulator, QPoint()), segment->size());
            const QColor face = commonest(segments, area.adjusted(3, 3, -3, -3));
            EXPECT_EQ(isSelectionColour(face, simulator.palette()), segment->isChecked()) << face.name().toStdString();
            EXPECT_EQ(faintInk(segments, area.adjusted(3, 3, -3, -3), face, 4.5), QStringList{});
        }
        saveScreenshot(simulator, std::string("simulator-transport-") + nameOf(shade));

        RuleEditorDialog editor(shell->state(), shell->state().profile().rules[0]);
        const QImage radios = rendered(editor);
        for (QRadioButton* radio : editor.findChildren<QRadioButton*>()) {
            SCOPED_TRACE(radio->text().toStdString());
            QStyleOptionButton option;
            option.initFrom(radio);
            const QRect mark = radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio);
            const QRect indicator(radio->mapTo(&editor, mark.topLeft()), mark.size());
            const QColor around = commonest(radios, QRect(radio->mapTo(&editor, QPoint()), radio->size()));
            if (radio->isChecked()) {
                // The disc inside the ring: the dot on the selection colour.
                const QRect disc = indicator.adjusted(3, 3, -3, -3);
                EXPECT_TRUE(isSelectionColour(commonest(radios, disc), editor.palette()));
                EXPECT_EQ(faintInk(radios, disc, commonest(radios, disc), 4.5), QStringList{});
            } else {
                EXPECT_EQ(faintInk(radios, indicator, around, 3.0), QStringList{}) << "the ring hardly shows";
            }
        }
        saveScreenshot(editor, std::string("rule-editor-") + nameOf(shade));

        // Check boxes: the proxy editor's, one ticked (authentication) and one not.
        ProxyServer plain = home;
        plain.kind = ProxyProtocol::socks5;
        plain.resolvesHostnamesRemotely = false;
        ProxyEditorDialog proxyEditor(plain);
        const QImage boxes = rendered(proxyEditor);
        for (QCheckBox* box : proxyEditor.findChildren<QCheckBox*>()) {
            if (!box->isVisibleTo(&proxyEditor)) continue;
            SCOPED_TRACE(box->text().toStdString());
            QStyleOptionButton option;
            option.initFrom(box);
            const QRect mark = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
            const QRect indicator(box->mapTo(&proxyEditor, mark.topLeft()), mark.size());
            const QColor around = commonest(boxes, QRect(box->mapTo(&proxyEditor, QPoint()), box->size()));
            if (box->isChecked()) {
                const QRect inside = indicator.adjusted(2, 2, -2, -2);
                EXPECT_TRUE(isSelectionColour(commonest(boxes, inside), proxyEditor.palette()));
                EXPECT_EQ(faintInk(boxes, inside, commonest(boxes, inside), 4.5), QStringList{});
            } else {
                EXPECT_EQ(faintInk(boxes, indicator, around, 3.0), QStringList{}) << "the box hardly shows";
            }
        }
        saveScreenshot(proxyEditor, std::string("proxy-editor-") + nameOf(shade));
    }
}

// Moved to by the keyboard, the sidebar's row wears a ring that stands out
// from the selection (3:1, as a control's outline must); without the focus
// it wears none.
TEST_F(DesktopLookTest, TheSidebarShowsWhichRowHasTheKeyboardFocus) {
    for (const Shade shade : {Shade::light, Shade::dark}) {
        SCOPED_TRACE(nameOf(shade));
        const DesktopPalette palette(shade);
        auto shell = shellWithProfile();
        MainWindow& window = shell->window();
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QListWidget& sidebar = *window.pageHost().sidebar();
        sidebar.setFocus(Qt::TabFocusReason);
        QTest::keyClick(&sidebar, Qt::Key_Down);
        settle();
        const QRect row = inView(sidebar, sidebar, sidebar.visualItemRect(sidebar.currentItem()));
        // A band along the row's top edge, clear of its icon and text.
        const QRect edge(row.left() + row.width() / 4, row.top(), row.width() / 2, 4);
        const QImage focused = rendered(sidebar);
        const QColor selection = commonest(focused, row);
        ASSERT_TRUE(isSelectionColour(selection, sidebar.palette()));
        EXPECT_GT(pixelsReaching(focused, edge, selection, 3.0), 0) << "no ring shows the focus";
        saveScreenshot(sidebar, std::string("sidebar-focused-") + nameOf(shade));

        window.pageHost().page()->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(pixelsReaching(rendered(sidebar), edge, selection, 3.0), 0) << "a ring without the focus";
    }
}

// The helper's refusal names the daemon's whole path: on the narrowest window
// it wraps inside the Tunnel Service box, and no box is pushed past the page.
TEST_F(DesktopLookTest, ALongServiceStatusWrapsWithinTheSettingsPage) {
    const std::string refusal =
        "The daemon “/home/someone/projects/corvane-checkout-for-testing/build/apps/Tunnel/corvane-tunnel” is "
        "refused: it and every folder above it must belong to root and be writable by nobody else. Install Corvane "
        "into a root-owned folder first (its Debian package, or bash scripts/run.sh as root, which installs it under "
        "/usr/local) and start the installed app.";
    installer.activation = [refusal](const ServiceInstaller::ActivationDelegate& d) {
        d.failed({"corvane-service", 3, refusal});
    };
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        const DesktopPalette palette(dark ? Shade::dark : Shade::light);
        auto shell = shellWithProfile();
        MainWindow& window = shell->window();
        window.resize(MainWindow::kMinimumWidth, 640);
        window.show();
        window.pageHost().select(SidebarItem::settings);
        settle();
        auto* page = window.findChild<SettingsPage*>();
        ASSERT_NE(page, nullptr);
        page->presenter().installExtension();
        settle();
        QLabel* status = page->extensionStatus();
        ASSERT_EQ(status->text().toStdString(), "Failed: [3] " + refusal);
        auto* scroll = page->findChild<QAbstractScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        const int visibleWidth = scroll->viewport()->width();
        const auto rightEdge = [&](const QWidget& widget) {
            return widget.mapTo(scroll->viewport(), QPoint(widget.width(), 0)).x();
        };
        for (const QGroupBox* box : page->findChildren<QGroupBox*>()) {
            if (!box->isVisible()) continue;
            EXPECT_LE(rightEdge(*box), visibleWidth) << box->title().toStdString();
        }
        EXPECT_LE(rightEdge(*status), rightEdge(*status->parentWidget()));
        EXPECT_GE(status->height(), 2 * status->fontMetrics().lineSpacing()) << "the text does not wrap";
        EXPECT_GE(status->height(), status->heightForWidth(status->width())) << "the wrapped text is cut off";
        saveScreenshot(window, dark ? "dark-settings-long-status" : "settings-long-status");
        if (dark) {
            EXPECT_EQ(faintLabels(window), QStringList{});
        }
    }
}

TEST_F(DesktopLookTest, TheWindowRendersAtTheScreensDensity) {
    auto shell = shellWithProfile();
    MainWindow& window = shell->window();
    window.resize(980, 640);
    window.show();
    if (window.devicePixelRatioF() < 2) {
        GTEST_SKIP() << "the screen has density " << window.devicePixelRatioF()
                     << "; the CorvaneAppViewHighDensityTests entry runs this with QT_SCALE_FACTOR=2";
    }
    for (const SidebarItem item : kSidebarItems) {
        window.pageHost().select(item);
        settle();
        const std::string name(toString(item));
        SCOPED_TRACE(name);
        const QPixmap shot = window.grab();
        EXPECT_EQ(shot.devicePixelRatio(), window.devicePixelRatioF());
        EXPECT_EQ(shot.size(), window.size() * window.devicePixelRatioF()) << "rendered at full density";
        saveScreenshot(window, "hidpi-" + name);
    }
    RuleEditorDialog rule(shell->state(), shell->state().profile().rules[0], &window);
    saveScreenshot(rule, "hidpi-rule-editor");
}

// The tallest sheets on the test screen (800 px, 400 px at twice the density):
// each fits the screen's free area and its default button is on it.
TEST_F(DesktopLookTest, SheetsFitTheScreenWithTheirButtonsReachable) {
    auto shell = shellWithProfile();
    MainWindow& window = shell->window();
    window.show();
    const QRect screen = window.screen()->availableGeometry();
    RuleEditorDialog rule(shell->state(), shell->state().profile().rules[0], &window);
    ProxyEditorDialog proxy(home, &window);
    for (QDialog* sheet : std::initializer_list<QDialog*>{&rule, &proxy}) {
        SCOPED_TRACE(sheet->objectName().toStdString());
        sheet->show();
        settle();
        EXPECT_LE(sheet->height(), screen.height());
        QPushButton* action = nullptr;
        for (QPushButton* button : sheet->findChildren<QPushButton*>()) {
            if (button->isDefault()) action = button;
        }
        ASSERT_NE(action, nullptr);
        const QRect at(action->mapTo(sheet, QPoint()), action->size());
        EXPECT_TRUE(sheet->rect().contains(at)) << "the default button lies outside the sheet";
        sheet->close();
    }
}

}  // namespace
}  // namespace corvane::app::testing
