// The main window's toolbar, app menu and error alert, and the tray menu, over
// the four engine statuses.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "Views/Shell/AboutDialog.hpp"
#include "Views/Shell/EngineStatusBadge.hpp"
#include "Views/Shell/ErrorAlert.hpp"
#include "Views/Shell/MainWindow.hpp"
#include "Views/Shell/TrayIcon.hpp"
#include "Views/Support/Screenshot.hpp"
#include "Views/Support/ShellFixture.hpp"

namespace corvane::app::testing {
namespace {

using Dot = EngineStatusPresentation::DotColour;

QStringList texts(const QMenu& menu) {
    QStringList all;
    for (const QAction* action : menu.actions()) all << (action->isSeparator() ? "---" : action->text());
    return all;
}

class MainWindowTest : public ShellFixture {
protected:
    std::unique_ptr<AppShell> shell = makeShell();
    MainWindow& window = shell->window();
    QMenu& tray = shell->trayIcon().menu();

    void reach(EngineStatus::Kind kind) {
        switch (kind) {
        case EngineStatus::Kind::stopped: return;
        case EngineStatus::Kind::starting: daemon.reachConnected = false; break;
        case EngineStatus::Kind::running: break;
        case EngineStatus::Kind::error: daemon.startError = "The daemon refused to start."; break;
        }
        shell->state().extensionManager().start();
        settle();
        daemon.calls.clear();
    }
    QAction* trayAction(const QString& text) {
        for (QAction* action : tray.actions()) {
            if (action->text() == text) return action;
        }
        return nullptr;
    }
    QMessageBox* alert() const { return window.errorAlert().box(); }
};

struct StatusCase {
    EngineStatus::Kind kind;
    const char* badge;
    Dot dot;
    const char* toggle;
    const char* pressed;
};

TEST_F(MainWindowTest, BadgeToolbarAndTrayFollowTheEngineStatusAndTheButtonsToggleIt) {
    const StatusCase cases[] = {
        {EngineStatus::Kind::stopped, "Stopped", Dot::secondary, "Start", "start"},
        {EngineStatus::Kind::starting, "Starting…", Dot::yellow, "Start", "start"},
        {EngineStatus::Kind::running, "Running", Dot::green, "Stop", "stop"},
        {EngineStatus::Kind::error, "Error: The daemon refused to start.", Dot::red, "Start", "start"},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.badge);
        daemon.pushStatus(platform::SessionStatus::disconnected);
        daemon.reachConnected = true;
        daemon.startError.reset();
        shell = makeShell();
        MainWindow& window = shell->window();
        reach(c.kind);

        EXPECT_EQ(window.statusBadge().text(), QString(c.badge));
        EXPECT_EQ(window.statusBadge().accessibleDescription(), QString(c.badge)) << "what a screen reader says";
        EXPECT_EQ(window.statusBadge().dotColour(), c.dot);
        QAction& toggle = window.toggleAction();
        EXPECT_EQ(toggle.text(), QString(c.toggle));
        EXPECT_EQ(toggle.toolTip(), QString("Start or stop traffic interception"));
        QMenu& menu = shell->trayIcon().menu();
        EXPECT_EQ(texts(menu), (QStringList{QString("Engine: ") + c.badge, c.toggle, "---", "Open Corvane", "Quit"}));
        EXPECT_FALSE(menu.actions().first()->isEnabled());

        toggle.trigger();
        settle();
        ASSERT_FALSE(daemon.calls.empty());
        EXPECT_EQ(daemon.calls.back(), c.pressed);
    }
}

// A first start with no daemon: an edit opens no alert, and Start says where
// to install the daemon, in a badge that fits the narrowest window.
TEST_F(MainWindowTest, WithoutADaemonEditsRaiseNoAlertAndStartPointsToSettings) {
    daemon.setAbsent(DaemonFailure::Kind::unreachable);
    shell = makeShell();
    MainWindow& window = shell->window();
    window.resize(MainWindow::kMinimumWidth, MainWindow::kMinimumHeight);
    window.show();
    settle();
    AppState& state = shell->state();
    Profile profile = state.profile();
    profile.defaultAction = RuleAction::block();
    state.setProfile(profile);
    state.saveProfile();
    settle();
    EXPECT_EQ(state.lastError(), std::nullopt);
    EXPECT_TRUE(window.errorAlert().box() == nullptr || !window.errorAlert().box()->isVisible());

    window.toggleAction().trigger();
    settle();
    const QString text = "Error: The tunnel service is not installed. Install it on the Settings page.";
    EXPECT_EQ(window.statusBadge().text(), text);
    EXPECT_EQ(window.width(), MainWindow::kMinimumWidth) << "the badge widened the window";
    const QPoint badgeEnd = window.statusBadge().mapTo(&window, QPoint(window.statusBadge().width(), 0));
    EXPECT_LE(badgeEnd.x(), window.width());
    saveScreenshot(window, "main-window-no-daemon");
}

TEST_F(MainWindowTest, TheTrayButtonTogglesToo) {
    reach(EngineStatus::Kind::running);
    trayAction("Stop")->trigger();
    settle();
    EXPECT_EQ(daemon.calls, (std::vector<std::string>{"stop"}));
    EXPECT_EQ(texts(tray)[0], "Engine: Stopped");
    trayAction("Start")->trigger();
    settle();
    EXPECT_EQ(texts(tray)[0], "Engine: Running");
}

TEST_F(MainWindowTest, AnErrorWithAnAmpersandShowsItInTheTrayLine) {
    daemon.startError = "Tom & Jerry";
    shell->state().extensionManager().start();
    settle();
    EXPECT_EQ(tray.actions().first()->text(), "Engine: Error: Tom && Jerry");
    EXPECT_EQ(window.statusBadge().text(), "Error: Tom & Jerry");
}

TEST_F(MainWindowTest, AppMenuHasCheckForUpdatesRightAfterAbout) {
    const QStringList items = texts(window.appMenu());
    ASSERT_GE(items.size(), 2);
    EXPECT_EQ(items[0], "About Corvane");
    EXPECT_EQ(items[1], "Check for Updates…");
    EXPECT_EQ(items.last(), "Quit");
}

TEST_F(MainWindowTest, AlertShowsTheLastErrorAndEveryWayOfDismissingItClearsIt) {
    const std::vector<std::function<void(QMessageBox&)>> dismissals{
        [](QMessageBox& box) { box.buttons().first()->click(); },
        [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); },
        [](QMessageBox& box) { box.close(); },
    };
    window.show();
    for (std::size_t i = 0; i < dismissals.size(); ++i) {
        SCOPED_TRACE(i);
        shell->state().setLastError("Could not save profile: disk full");
        settle();
        ASSERT_NE(alert(), nullptr);
        EXPECT_TRUE(alert()->isVisible());
        EXPECT_EQ(alert()->windowTitle(), "Error");
        EXPECT_EQ(alert()->text(), "Could not save profile: disk full");
        ASSERT_EQ(alert()->buttons().size(), 1);
        EXPECT_EQ(alert()->buttons().first()->text(), "OK");
        dismissals[i](*alert());
        settle();
        EXPECT_EQ(shell->state().lastError(), std::nullopt);
        EXPECT_EQ(alert(), nullptr);
    }
}

TEST_F(MainWindowTest, AlertFollowsAChangedErrorAndWaitsForAClosedWindow) {
    shell->state().setLastError("first");
    settle();
    EXPECT_EQ(alert(), nullptr) << "shown over a window that is not on screen";
    window.show();
    settle();
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->text(), "first");
    const QString second = "Import failed: The data is not valid JSON: syntax error while parsing object key - "
                           "invalid literal; expected string literal (at line 3, column 3).";
    shell->state().setLastError(second.toStdString());
    EXPECT_EQ(alert()->text(), second);
    saveScreenshot(window, "shell-error-alert-window");
    saveScreenshot(*alert(), "shell-error-alert");
    shell->state().setLastError(std::nullopt);
    settle();
    EXPECT_EQ(alert(), nullptr);
}

TEST_F(MainWindowTest, ScreenshotsOfTheToolbarInEachStatusTheTrayMenuAndAbout) {
    window.resize(MainWindow::kMinimumWidth, MainWindow::kMinimumHeight);
    saveScreenshot(window, "shell-window-stopped");
    reach(EngineStatus::Kind::running);
    saveScreenshot(window, "shell-window-running");
    saveScreenshot(tray, "shell-tray-menu-running");
    window.showAbout();
    settle();
    auto* about = window.findChild<AboutDialog*>();
    ASSERT_NE(about, nullptr);
    saveScreenshot(*about, "shell-about");
}

}  // namespace
}  // namespace corvane::app::testing
