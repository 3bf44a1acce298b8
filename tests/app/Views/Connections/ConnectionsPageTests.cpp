// The Connections page's widgets: what the polls may not disturb (open groups,
// the selection, the scroll position, an open context menu), the poll's
// lifetime, the toolbar, choosing and opening a record in either view, the
// table's columns, the detail sheet, and a look at each.
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "Support/PageFixture.hpp"
#include "Views/Common/ContentPlaceholder.hpp"
#include "Views/Connections/ConnectionDetailSheet.hpp"
#include "Views/Connections/ConnectionsPage.hpp"
#include "Views/Connections/ThroughputChart.hpp"
#include "Views/Shell/MainWindow.hpp"
#include "Views/Shell/PageHost.hpp"
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

// Flat or grouped, a record is chosen by a click or the arrow keys and shows
// its details on a double click or Return; the choice outlives a poll.
TEST_F(ConnectionsPageTest, BothViewsChooseAndOpenARecordAlike) {
    for (const bool grouped : {false, true}) {
        SCOPED_TRACE(grouped ? "grouped" : "flat");
        settings.setValue("connectionsGrouped", grouped);
        page = std::make_unique<ConnectionsPage>(*state, settings, desktop);
        showWithRecords();
        QAbstractItemView& view = grouped ? static_cast<QAbstractItemView&>(list()) : *page->table();
        // Firefox's records, newest first: cdn, mail, tracker, www.
        QModelIndex first = view.model()->index(0, 0);
        if (grouped) {
            list().expand(group("org.mozilla.firefox"));
            first = page->groupModel().index(0, 0, group("org.mozilla.firefox"));
        }
        settle();
        const auto targetOf = [&](const QModelIndex& index) {
            return grouped ? page->groupModel().record(index)->target : index.siblingAtColumn(2).data().toString().toStdString();
        };
        const auto chosen = [&] {
            const QModelIndexList rows = view.selectionModel()->selectedRows();
            return rows.size() == 1 ? targetOf(rows.front()) : std::string("(none)");
        };
        ASSERT_EQ(targetOf(first), "cdn.example.org:443");

        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(first).center());
        EXPECT_EQ(chosen(), "cdn.example.org:443") << "a click chooses the row";
        EXPECT_TRUE(view.hasFocus());
        QTest::keyClick(&view, Qt::Key_Down);
        const std::string second = grouped ? "mail.example.org:993" : "build.internal.example:22";
        EXPECT_EQ(chosen(), second) << "Down chooses the next row";
        nextPoll();
        EXPECT_EQ(chosen(), second) << "a poll kept the choice";

        QTest::keyClick(&view, Qt::Key_Return);
        ASSERT_NE(page->detailSheet(), nullptr) << "Return opens the chosen record";
        EXPECT_EQ(page->detailSheet()->detail().record().target, second);
        const std::string look = grouped ? "connections-grouped-chosen" : "connections-flat-chosen";
        saveScreenshot(*page, look);
        saveScreenshot(*page->detailSheet(), look + "-details");
        page->detailSheet()->close();
        settle();

        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(first).center());
        settle();
        ASSERT_NE(page->detailSheet(), nullptr) << "a double click opens the record";
        EXPECT_EQ(page->detailSheet()->detail().record().target, "cdn.example.org:443");
        page->detailSheet()->close();
        settle();
        page->hide();
    }
}

TEST_F(ConnectionsPageTest, ReturnOnAGroupOpensOrClosesIt) {
    showWithRecords();
    const QModelIndex ssh = group("ssh");
    list().setFocus();
    list().setCurrentIndex(ssh);
    QTest::keyClick(&list(), Qt::Key_Return);
    EXPECT_TRUE(list().isExpanded(ssh));
    EXPECT_EQ(page->detailSheet(), nullptr);
    QTest::keyClick(&list(), Qt::Key_Return);
    EXPECT_FALSE(list().isExpanded(ssh));
}

// In the narrowest window the target takes the largest share, so a usual
// host and port shows whole; a wider one gives every text its room as far as
// it goes; the columns always fill the width exactly.
TEST_F(ConnectionsPageTest, TheTableColumnsShareTheWindowsWidth) {
    settings.setValue("connectionsGrouped", false);
    const int narrowest = MainWindow::kMinimumWidth - PageHost::kSidebarIdealWidth -
                          page->style()->pixelMetric(QStyle::PM_SplitterWidth);
    showWithRecords();
    const QTableView& table = *page->table();
    const QHeaderView& header = *table.horizontalHeader();
    // Whether the view shows `text` shortened in `column`: drawn in a cell of
    // the column's width, it differs from the text drawn in a wide one.
    const auto cut = [&](const QString& text, int column) {
        const auto drawn = [&](int width) {
            QStyleOptionViewItem option;
            option.initFrom(&table);
            option.rect = QRect(0, 0, width, 24);
            option.text = text;
            option.features = QStyleOptionViewItem::HasDisplay;
            option.textElideMode = column == 1 || column == 2 ? Qt::ElideMiddle : Qt::ElideRight;
            option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
            QImage image(width, 24, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            table.style()->drawControl(QStyle::CE_ItemViewItem, &option, &painter, &table);
            return image;
        };
        const int width = header.sectionSize(column);
        return drawn(width) != drawn(width + 200).copy(0, 0, width, 24);
    };
    for (const int width : {narrowest, narrowest + 500}) {
        SCOPED_TRACE(width);
        page->resize(width, 420);
        settle();
        int total = 0;
        for (int column = 0; column < header.count(); ++column) total += header.sectionSize(column);
        EXPECT_EQ(total, table.viewport()->width()) << "the columns fill the table";
        EXPECT_EQ((std::vector{header.sectionSize(0), header.sectionSize(5), header.sectionSize(6), header.sectionSize(7)}),
                  (std::vector{70, 70, 70, 80}));
    }
    page->resize(narrowest, 420);
    settle();
    for (const int column : {1, 3, 4}) {
        EXPECT_GT(header.sectionSize(2), header.sectionSize(column)) << "the target is the widest column";
    }
    for (const char* target : {"www.example.org:443", "meet.example.com:443", "mail.example.org:993"}) {
        EXPECT_FALSE(cut(target, 2)) << target;
    }
    // Wider, first every application and target shows whole, then every text.
    for (const auto& [width, columns] : {std::pair{860, std::vector{1, 2}}, std::pair{narrowest + 500, std::vector{1, 2, 3, 4}}}) {
        page->resize(width, 420);
        settle();
        for (int row = 0; row < table.model()->rowCount(); ++row) {
            for (const int column : columns) {
                const QString text = table.model()->index(row, column).data().toString();
                EXPECT_FALSE(cut(text, column)) << text.toStdString() << " at " << width;
            }
        }
    }
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
