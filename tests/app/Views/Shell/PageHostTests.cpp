// The main window's frame and its page host: size, the sidebar, a new page on
// every selection change, and a look at every page.
#include <QListWidget>
#include <QPointer>
#include <gtest/gtest.h>

#include "Views/Support/Screenshot.hpp"
#include "Views/Support/ShellFixture.hpp"
#include "Views/Shell/MainWindow.hpp"
#include "Views/Shell/PageHost.hpp"

namespace corvane::app::testing {
namespace {

class PageHostTest : public ShellFixture {
protected:
    std::unique_ptr<AppShell> shell = makeShell();
    MainWindow& window = shell->window();
    PageHost& host = window.pageHost();

    QString pageName() const { return host.page() ? host.page()->objectName() : QString(); }
};

TEST_F(PageHostTest, WindowCannotShrinkBelowItsMinimumSize) {
    window.show();
    window.resize(200, 100);
    settle();
    EXPECT_EQ(window.width(), 860);
    EXPECT_EQ(window.height(), 520);
}

TEST_F(PageHostTest, SidebarListsTheFivePagesInOrderWithTheirIcons) {
    const QListWidget& sidebar = *host.sidebar();
    const QStringList expected{"Connections", "Rules", "Proxies", "Simulator", "Settings"};
    ASSERT_EQ(sidebar.count(), expected.size());
    for (int row = 0; row < sidebar.count(); ++row) {
        EXPECT_EQ(sidebar.item(row)->text(), expected[row]);
        EXPECT_FALSE(sidebar.item(row)->icon().pixmap(18, 18).isNull()) << row;
    }
    EXPECT_GE(sidebar.minimumWidth(), 180);
}

TEST_F(PageHostTest, OpensOnConnectionsAndAnEmptySelectionShowsConnections) {
    EXPECT_EQ(host.selection(), SidebarItem::connections);
    EXPECT_EQ(pageName(), "ConnectionsPage");
    host.select(SidebarItem::rules);
    EXPECT_EQ(pageName(), "RulesPage");
    host.select(std::nullopt);
    EXPECT_EQ(host.selection(), std::nullopt);
    EXPECT_EQ(pageName(), "ConnectionsPage");
}

TEST_F(PageHostTest, EverySelectionChangeMakesANewPageAndDropsTheOld) {
    const std::vector<std::optional<SidebarItem>> steps{SidebarItem::settings, SidebarItem::proxies, std::nullopt,
                                                        SidebarItem::connections, SidebarItem::simulator};
    for (const auto& step : steps) {
        QPointer<QWidget> before = host.page();
        int changes = 0;
        auto counter = QObject::connect(&host, &PageHost::pageChanged, [&] { ++changes; });
        host.select(step);
        QObject::disconnect(counter);
        EXPECT_TRUE(before.isNull()) << "the old page lives on";
        EXPECT_EQ(changes, 1);
        ASSERT_NE(host.page(), nullptr);
        EXPECT_EQ(host.page()->parent() != nullptr, true);
    }
}

TEST_F(PageHostTest, ClosingTheWindowDropsThePageAndShowingMakesANewOne) {
    window.show();
    host.select(SidebarItem::proxies);
    QPointer<QWidget> page = host.page();
    window.close();
    EXPECT_TRUE(page.isNull());
    window.show();
    ASSERT_NE(host.page(), nullptr);
    EXPECT_EQ(pageName(), "ProxiesPage");
}

TEST_F(PageHostTest, ScreenshotOfEveryPage) {
    window.resize(MainWindow::kMinimumWidth, MainWindow::kMinimumHeight);
    for (const SidebarItem item : kSidebarItems) {
        host.select(item);
        saveScreenshot(window, "shell-page-" + std::string(toString(item)));
    }
}

}  // namespace
}  // namespace corvane::app::testing
