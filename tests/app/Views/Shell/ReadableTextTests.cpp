// Every text the pages and sheets paint off the selection reads at 4.5:1
// against what it is painted on, in the light and the dark palette: the rows
// of every list with their status badges, the secondary and faint texts,
// coloured statuses and warnings, the chart's legend, the simulator's verdict
// and trace, and the placeholders of empty fields. Measured on the painted
// pixels, at four times the size; screenshots of each for review.
#include <cmath>
#include <functional>
#include <memory>

#include <QApplication>
#include <QPainter>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTreeView>
#include <gtest/gtest.h>

#include "Views/Connections/ConnectionDetailSheet.hpp"
#include "Views/Connections/ConnectionGroupModel.hpp"
#include "Views/Connections/ConnectionsPage.hpp"
#include "Views/Connections/ThroughputChart.hpp"
#include "Views/Proxies/ProxyEditorDialog.hpp"
#include "Views/Proxies/ProxyRow.hpp"
#include "Views/Rules/ChainEditorDialog.hpp"
#include "Views/Rules/HopRowDelegate.hpp"
#include "Views/Rules/PatternListEditor.hpp"
#include "Views/Rules/PickerSearchBar.hpp"
#include "Views/Rules/PresetPickerDialog.hpp"
#include "Views/Rules/ReorderableListView.hpp"
#include "Views/Rules/RuleEditorDialog.hpp"
#include "Views/Rules/RuleRowDelegate.hpp"
#include "Views/Rules/RulesListModel.hpp"
#include "Views/Rules/RulesPage.hpp"
#include "Views/Shell/MainWindow.hpp"
#include "Views/Shell/PageHost.hpp"
#include "Views/Simulator/SimulatorPage.hpp"
#include "Views/Support/Contrast.hpp"
#include "Views/Support/DesktopLookFixture.hpp"
#include "Views/Support/SampleRecords.hpp"
#include "Views/Support/Screenshot.hpp"

namespace corvane::app::testing {
namespace {

class ReadableTextTest : public DesktopLookFixture {
protected:
    // What a case made, the widget to look at, the painted rows and strips in
    // it (in its coordinates), and what in them is a control, not text.
    struct Look {
        std::shared_ptr<QWidget> made;
        QWidget* shown = nullptr;
        std::vector<QRect> painted;
        std::vector<QRect> leftOut;
    };
    struct LookCase {
        std::string name;
        std::function<Look(AppShell&)> make;
    };

    template <typename Widget>
    static Look lookAt(std::shared_ptr<Widget> widget) {
        QWidget* shown = widget.get();
        return Look{std::move(widget), shown, {}, {}};
    }

    std::shared_ptr<ConnectionsPage> connectionsPage(AppShell& shell, bool grouped) {
        settings.setValue("connectionsGrouped", grouped);
        showRecords(shell.state(), sampleRecords());
        auto page = std::make_shared<ConnectionsPage>(shell.state(), settings, desktop);
        page->resize(860, 460);
        page->show();
        settle();
        return page;
    }

    // `count` samples two seconds apart, of rates that rise and fall.
    static std::vector<ThroughputTracker::Sample> throughputSamples(int count) {
        std::vector<ThroughputTracker::Sample> samples;
        for (int i = 0; i < count; ++i) {
            const double at = 2.0 * i;
            const double wave = 0.5 + 0.5 * std::sin(i / 9.0);
            samples.push_back({Date{at}, Date{at}, 40'000 + 60'000 * wave, 300'000 * wave});
        }
        return samples;
    }

    // The shown part of the rows of `view` under `parent`, and of the open rows below them.
    static void addRows(const QAbstractItemView& view, const QWidget& shown, const QModelIndex& parent,
                        std::vector<QRect>& rows) {
        const QAbstractItemModel& model = *view.model();
        const QRect viewport = inView(view, shown, view.viewport()->rect());
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex index = model.index(row, 0, parent);
            const QRect at = rowOf(view, shown, index).intersected(viewport);
            if (!at.isEmpty()) rows.push_back(at);
            const auto* tree = qobject_cast<const QTreeView*>(&view);
            if (tree != nullptr && tree->isExpanded(index)) addRows(view, shown, index, rows);
        }
    }

    std::vector<LookCase> pageCases() {
        std::vector<LookCase> cases;
        for (const SidebarItem item : kSidebarItems) {
            // The window on each page: the engine's badge, empty states,
            // footers, hints and the Settings page's notes and statuses.
            cases.push_back({"window-" + std::string(toString(item)), [item](AppShell& shell) {
                                 MainWindow& window = shell.window();
                                 window.resize(980, 640);
                                 window.show();
                                 window.pageHost().select(item);
                                 settle();
                                 return Look{nullptr, &window, {}, {}};
                             }});
        }
        return cases;
    }

    std::vector<LookCase> listCases() {
        return {
            {"connection-table",
             [this](AppShell& shell) {
                 auto page = connectionsPage(shell, false);
                 Look look = lookAt(page);
                 addRows(*page->table(), *page, {}, look.painted);
                 return look;
             }},
            {"connection-groups",
             [this](AppShell& shell) {
                 auto page = connectionsPage(shell, true);
                 QTreeView& list = *page->groupList();
                 list.expandAll();
                 settle();
                 Look look = lookAt(page);
                 addRows(list, *page, {}, look.painted);
                 return look;
             }},
            {"proxies",
             [this](AppShell& shell) {
                 auto page = proxiesPageChecked(shell);
                 return lookAt(page);
             }},
            {"rules",
             [](AppShell& shell) {
                 auto page = std::make_shared<RulesPage>(shell.state());
                 page->resize(660, 300);
                 page->show();
                 Look look = lookAt(page);
                 addRows(*page->list(), *page, {}, look.painted);
                 for (const QRect& row : look.painted) look.leftOut.push_back(RuleRowDelegate::switchRect(row));
                 return look;
             }},
            {"chain-hops",
             [this](AppShell&) {
                 auto chain = std::make_shared<ChainEditorDialog>(std::vector{office, home}, ProxyListPurpose::chain,
                                                                  std::vector{office.id, home.id});
                 chain->show();
                 // The focus ring (a mark of its own, 3:1) off the rows.
                 chain->useButton()->setFocus();
                 Look look = lookAt(chain);
                 addRows(*chain->hops(), *chain, {}, look.painted);
                 for (const QRect& row : look.painted) look.leftOut.push_back(HopRowDelegate::removeRect(row));
                 return look;
             }},
            {"preset-picker",
             [](AppShell&) {
                 auto picker = std::make_shared<PresetPickerDialog>();
                 picker->resize(520, 560);
                 picker->show();
                 Look look = lookAt(picker);
                 addRows(*picker->list(), *picker, {}, look.painted);
                 return look;
             }},
        };
    }

    std::vector<LookCase> sheetCases() {
        return {
            {"connection-detail",
             [this](AppShell&) {
                 // A failed connection of an application whose signature did not verify.
                 ConnectionRecord record = sampleRecords()[5];
                 record.appIdentity = CodeIdentity::unverified;
                 auto sheet = std::make_shared<ConnectionDetailSheet>(record, desktop);
                 sheet->show();
                 return lookAt(sheet);
             }},
            {"throughput-chart",
             [](AppShell&) {
                 auto chart = std::make_shared<ThroughputChart>();
                 chart->resize(640, chart->sizeHint().height());
                 chart->setSamples(throughputSamples(60));
                 Look look = lookAt(chart);
                 // The legend above the plot and its gap, and the trailing strip
                 // where only the rates of the plot's lines are written.
                 look.painted.emplace_back(0, 0, chart->width(), chart->height() - ThroughputChart::kPlotHeight - 8);
                 look.painted.emplace_back(chart->width() - 30, 0, 30, chart->height());
                 return look;
             }},
            {"throughput-chart-collecting",
             [](AppShell&) {
                 auto chart = std::make_shared<ThroughputChart>();
                 chart->resize(640, chart->sizeHint().height());
                 chart->setSamples(throughputSamples(1));
                 Look look = lookAt(chart);
                 look.painted.push_back(chart->rect());
                 return look;
             }},
            {"rule-editor-errors",
             [](AppShell& shell) {
                 auto editor = std::make_shared<RuleEditorDialog>(shell.state(), shell.state().profile().rules[0]);
                 editor->ports()->textArea()->setPlainText("443\n70000");
                 editor->show();
                 return lookAt(editor);
             }},
            {"rule-editor-empty",
             [](AppShell& shell) {
                 auto editor = std::make_shared<RuleEditorDialog>(shell.state(), RulesPresenter::newRule());
                 editor->show();
                 return lookAt(editor);
             }},
            {"preset-picker-nothing-matches",
             [](AppShell&) {
                 auto picker = std::make_shared<PresetPickerDialog>();
                 picker->resize(520, 560);
                 picker->searchBar()->field()->setText("zz");
                 picker->show();
                 return lookAt(picker);
             }},
            {"preset-picker-search",
             [](AppShell&) {
                 auto picker = std::make_shared<PresetPickerDialog>();
                 picker->resize(520, 560);
                 picker->show();
                 return lookAt(picker);
             }},
        };
    }

    std::vector<LookCase> simulatorCases() {
        // The simulator of a connection that matches the proxy rule (a badge
        // on its trace row), of any application (the disabled rule and the
        // default action), and of a port that is none.
        const auto simulator = [](AppShell& shell, const QString& application, const QString& port) {
            auto page = std::make_shared<SimulatorPage>(shell.state());
            page->resize(860, 560);
            page->show();
            page->applicationField()->setText(application);
            page->portField()->setText(port);
            settle();
            return page;
        };
        return {
            {"simulator-match",
             [simulator](AppShell& shell) { return lookAt(simulator(shell, "org.mozilla.firefox", "443")); }},
            {"simulator-default", [simulator](AppShell& shell) { return lookAt(simulator(shell, "", "443")); }},
            {"simulator-no-port", [simulator](AppShell& shell) { return lookAt(simulator(shell, "", "")); }},
        };
    }

    std::vector<LookCase> allCases() {
        std::vector<LookCase> cases = pageCases();
        for (auto more : {listCases(), sheetCases(), simulatorCases()}) cases.insert(cases.end(), more.begin(), more.end());
        return cases;
    }
};

class ReadableTextInPaletteTest : public ReadableTextTest, public ::testing::WithParamInterface<Shade> {};

TEST_P(ReadableTextInPaletteTest, EveryTextOffTheSelectionReads) {
    const DesktopPalette palette(GetParam());
    for (const LookCase& lookCase : allCases()) {
        SCOPED_TRACE(lookCase.name);
        auto shell = shellWithProfile();
        const Look look = lookCase.make(*shell);
        settle();
        const QImage image = rendered(*look.shown);
        EXPECT_EQ(unreadableTexts(*look.shown, image), QStringList{});
        for (const QRect& area : look.painted) {
            SCOPED_TRACE(QString("painted at %1,%2").arg(area.x()).arg(area.y()).toStdString());
            EXPECT_EQ(unreadableInRow(image, area, look.leftOut), QStringList{});
        }
        saveScreenshot(*look.shown, "readable-" + lookCase.name + "-" + nameOf(GetParam()));
    }
}

INSTANTIATE_TEST_SUITE_P(BothPalettes, ReadableTextInPaletteTest, ::testing::Values(Shade::light, Shade::dark),
                         [](const ::testing::TestParamInfo<Shade>& info) { return std::string(nameOf(info.param)); });

// The measure itself: a badge found on its row is measured against its own
// capsule, so a text that reads on the row but not on the capsule is caught.
TEST_F(ReadableTextTest, ABadgesTextIsMeasuredAgainstItsCapsule) {
    QImage image(QSize(120, 24) * kInkScale, QImage::Format_RGB32);
    image.setDevicePixelRatio(kInkScale);
    const QColor row(Qt::white);
    image.fill(row);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule(20, 3, 60, 18);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xd8, 0xd8, 0xd8));
    painter.drawRoundedRect(capsule, 9, 9);
    // 4.6:1 on white, 3.3:1 on the capsule.
    painter.setPen(QColor(0x75, 0x75, 0x75));
    painter.setFont(QFont(QApplication::font().family(), 9));
    painter.drawText(capsule, Qt::AlignCenter, "Closed");
    painter.end();

    const std::optional<QRect> found = capsuleIn(image, QRect(0, 0, 120, 24), row);
    ASSERT_TRUE(found.has_value());
    EXPECT_LE(std::abs(found->left() - 20), 1);
    EXPECT_LE(std::abs(found->width() - 60), 2);
    const QStringList faint = unreadableInRow(image, QRect(0, 0, 120, 24));
    ASSERT_FALSE(faint.isEmpty());
    EXPECT_TRUE(faint.front().startsWith("on the badge: ")) << faint.front().toStdString();
}

}  // namespace
}  // namespace corvane::app::testing
