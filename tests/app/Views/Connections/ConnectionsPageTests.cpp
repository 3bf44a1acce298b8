// The Connections page's widgets: what the polls may not disturb (open groups,
// the scroll position, an open context menu), the poll's lifetime, the toolbar,
// the detail sheet, and a look at each.
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>

#include "Views/Common/ContentPlaceholder.hpp"
#include "Views/Connections/ConnectionDetailSheet.hpp"
#include "Views/Connections/ConnectionsPage.hpp"
#include "Views/Connections/ThroughputChart.hpp"
#include "Views/Support/PageFixture.hpp"
#include "Views/Support/SampleRecords.hpp"
#include "Views/Support/Screenshot.hpp"

namespace corvane::app::testing {
namespace {

class ConnectionsPageTest : public PageFixture {
protected:
    std::vector<ConnectionRecord> records = sampleRecords();
    std::unique_ptr<ConnectionsPage> page = std::make_unique<ConnectionsPage>(*state, settings, desktop);

    // Shows the page with the engine running and the daemon listing `records`.
    void showWithRecords() {
        runEngine();
        answerFetchesWith(records);
        page->resize(860, 420);
        page->show();
        settle();
    }
    // The next poll, after the daemon's list became `records`.
    void nextPoll() {
        answerFetchesWith(records);
        scheduler.advance(RecordsPoll::kPeriod);
        clock.advance(2);
        settle();
    }
    QModelIndex group(const std::string& app) const { return page->groupModel().indexOfGroup(app); }
    QTreeView& list() const { return *page->groupList(); }
};

TEST_F(ConnectionsPageTest, PollsKeepOpenGroupsTheScrollPositionAndAnOpenMenu) {
    for (int i = 0; i < 30; ++i) {
        ConnectionRecord extra = records[static_cast<std::size_t>(i % 8)];
        extra.id = UUID::random();
        extra.startedAt = Date{extra.startedAt.sinceReferenceDate - 1000 - i};
        records.insert(records.begin(), extra);
    }
    showWithRecords();
    ASSERT_EQ(page->presenter().content(), ConnectionsPresenter::Content::groups);
    EXPECT_FALSE(list().isExpanded(group("curl"))) << "groups start collapsed";
    list().expand(group("curl"));
    list().expand(group("org.mozilla.firefox"));
    settle();
    ASSERT_GT(list().verticalScrollBar()->maximum(), 0);
    list().verticalScrollBar()->setValue(list().verticalScrollBar()->maximum() / 2);
    settle();
    QPoint at;
    for (int y = 4; y < list().viewport()->height() && at.isNull(); y += 4) {
        if (page->groupModel().record(list().indexAt({60, y}))) at = {60, y};
    }
    ASSERT_FALSE(at.isNull());
    const ConnectionRecord atMenu = *page->groupModel().record(list().indexAt(at));
    emit list().customContextMenuRequested(at);
    settle();
    auto* menu = page->findChild<QMenu*>("recordMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    const int scrolled = list().verticalScrollBar()->value();
    EXPECT_GT(scrolled, 0);

    records.back().bytesReceived += 4'000'000;
    ConnectionRecord newest = records.back();
    newest.id = UUID::random();
    newest.appIdentifier = "curl";
    newest.startedAt = Date{newest.startedAt.sinceReferenceDate + 60};
    records.push_back(newest);
    nextPoll();

    EXPECT_EQ(page->presenter().groups().front().appIdentifier, "curl") << "curl's group moved up";
    EXPECT_TRUE(list().isExpanded(group("curl")));
    EXPECT_TRUE(list().isExpanded(group("org.mozilla.firefox")));
    EXPECT_FALSE(list().isExpanded(group("ssh")));
    EXPECT_EQ(list().verticalScrollBar()->value(), scrolled);
    ASSERT_EQ(page->findChild<QMenu*>("recordMenu"), menu);
    EXPECT_TRUE(menu->isVisible()) << "a poll closed the context menu";

    menu->actions().front()->trigger();
    settle();
    ASSERT_NE(page->detailSheet(), nullptr);
    EXPECT_EQ(page->detailSheet()->detail().record().id, atMenu.id);
}

TEST_F(ConnectionsPageTest, ThePollRunsWhileThePageIsShownAndEndsWithIt) {
    runEngine();
    answerFetchesWith(records);
    settle();
    const std::size_t before = daemon.messages.size();
    EXPECT_FALSE(page->presenter().isPolling()) << "made but not shown";
    page->show();
    settle();
    EXPECT_EQ(daemon.messages.size(), before + 1);
    page->hide();
    scheduler.advance(RecordsPoll::kPeriod * 3);
    settle();
    EXPECT_EQ(daemon.messages.size(), before + 1);
    page->show();
    settle();
    EXPECT_EQ(daemon.messages.size(), before + 2);
    page.reset();
    EXPECT_EQ(scheduler.pending(), 0u) << "the poll ends with the page";
}

TEST_F(ConnectionsPageTest, TheToolbarFollowsAndStoresTheChoices) {
    page->show();
    settle();
    EXPECT_EQ(page->emptyState()->hint(),
              "Install the tunnel service on the Settings page to begin routing traffic through your rules.");
    page->hide();
    showWithRecords();
    EXPECT_EQ(page->emptyState()->hint(), "");
    EXPECT_EQ(page->filterButton()->text(), "All");
    EXPECT_EQ(page->filterButton()->toolTip(), "Filter by status");
    EXPECT_EQ(page->groupAction()->toolTip(), "Collapse each app's connections into one row");
    EXPECT_TRUE(page->groupAction()->isChecked());
    EXPECT_TRUE(page->exportAction()->isEnabled());

    page->groupAction()->trigger();
    EXPECT_EQ(settings.value("connectionsGrouped"), false);
    EXPECT_EQ(page->table()->isVisible(), true);
    const QList<QAction*> items = page->filterButton()->menu()->actions();
    ASSERT_EQ(items.size(), 6);
    EXPECT_EQ(items[0]->text(), "All statuses");
    EXPECT_TRUE(items[1]->isSeparator());
    items[5]->trigger();
    EXPECT_EQ(page->filterButton()->text(), "Blocked");
    EXPECT_TRUE(items[5]->isChecked());
    EXPECT_FALSE(items[2]->isChecked());
    EXPECT_EQ(page->table()->model()->rowCount(), 1);

    page->searchField()->setText("no such host");
    EXPECT_TRUE(page->showsNoMatchOverlay());
    EXPECT_FALSE(page->exportAction()->isEnabled());
    items[0]->trigger();
    page->searchField()->clear();
    EXPECT_FALSE(page->showsNoMatchOverlay());
    EXPECT_EQ(page->table()->model()->rowCount(), static_cast<int>(records.size()));
}

TEST_F(ConnectionsPageTest, TheTableHasTheFixedColumnsAndADashForNoRule) {
    settings.setValue("connectionsGrouped", false);
    showWithRecords();
    const QAbstractItemModel& model = *page->table()->model();
    QStringList titles;
    for (int column = 0; column < model.columnCount(); ++column) titles << model.headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(titles, (QStringList{"Time", "Application", "Target", "Rule", "Action", "Sent", "Received", "Status"}));
    const QHeaderView& header = *page->table()->horizontalHeader();
    EXPECT_EQ((std::vector{header.sectionSize(0), header.sectionSize(5), header.sectionSize(6), header.sectionSize(7)}),
              (std::vector{70, 70, 70, 80}));
    const int curl = static_cast<int>(records.size()) - 2;  // newest first
    EXPECT_EQ(model.index(curl, 1).data().toString(), "curl");
    EXPECT_EQ(model.index(curl, 3).data().toString(), "—");
    EXPECT_EQ(model.index(curl, 6).data().toString(), "46.1 MB");
    EXPECT_EQ(model.index(0, 0).data().toString(), "09:04:19");
    saveScreenshot(*page, "connections-flat");
}

TEST_F(ConnectionsPageTest, TheDetailSheetKeepsTheRecordAsOpenedAndCopiesIt) {
    showWithRecords();
    list().expand(group("curl"));
    settle();
    const QModelIndex row = page->groupModel().index(0, 0, group("curl"));
    emit list().doubleClicked(row);
    settle();
    ConnectionDetailSheet* sheet = page->detailSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->size(), QSize(460, 460));

    records[1].bytesReceived += 1'000'000;
    nextPoll();
    EXPECT_EQ(sheet->detail().record().bytesReceived, 48'300'000u) << "the sheet does not follow polls";

    const QList<QPushButton*> buttons = sheet->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]->text(), "Copy Details");
    EXPECT_TRUE(buttons[1]->isDefault());
    buttons[0]->click();
    ASSERT_EQ(desktop.clipboard.size(), 1u);
    EXPECT_EQ(desktop.clipboard[0].count('\n'), 10);
    EXPECT_TRUE(desktop.clipboard[0].startsWith("Application: curl\nPath: /usr/bin/curl\nIdentity: System binary\n"));
    saveScreenshot(*sheet, "connection-detail");
}

TEST_F(ConnectionsPageTest, ScreenshotOfTheGroupedListAndTheChart) {
    showWithRecords();
    for (int poll = 0; poll < 3; ++poll) {
        for (ConnectionRecord& record : records) {
            if (record.status == ConnectionStatus::active) record.bytesReceived += 300'000u * (poll + 1);
        }
        nextPoll();
    }
    list().expand(group("org.mozilla.firefox"));
    settle();
    ASSERT_TRUE(page->chart()->isVisible());
    saveScreenshot(*page, "connections-grouped");

    std::vector<ThroughputTracker::Sample> samples;
    for (int i = 0; i < 120; ++i) {
        const double at = 2.0 * i;
        const double wave = 0.5 + 0.5 * std::sin(i / 9.0);
        samples.push_back({Date{at}, Date{at}, 40'000 + 60'000 * wave, 300'000 * wave + 90'000 * ((i / 17) % 2)});
    }
    ThroughputChart chart;
    chart.resize(640, chart.sizeHint().height());
    chart.setSamples(samples);
    EXPECT_FALSE(chart.data().isCollecting());
    EXPECT_EQ(chart.accessibleDescription(),
              "Sent " + chart.data().sentText() + ", received " + chart.data().receivedText())
        << "assistive technology hears the rates the legend shows";
    saveScreenshot(chart, "throughput-chart");
    chart.setSamples({samples.front()});
    EXPECT_TRUE(chart.data().isCollecting());
    EXPECT_TRUE(chart.accessibleDescription().endsWith("; collecting…"));
    saveScreenshot(chart, "throughput-chart-collecting");
}

}  // namespace
}  // namespace corvane::app::testing
