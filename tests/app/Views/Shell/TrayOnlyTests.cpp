// Tray-only mode at launch, with and without a tray, and "Open Corvane"
// bringing back a window that was closed.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <gtest/gtest.h>

#include "Views/Shell/MainWindow.hpp"
#include "Views/Shell/TrayIcon.hpp"
#include "Views/Support/ShellFixture.hpp"

namespace corvane::app::testing {
namespace {

class TrayOnlyTest : public ShellFixture {
protected:
    void TearDown() override { QApplication::setQuitOnLastWindowClosed(true); }

    QAction* trayAction(AppShell& shell, const QString& text) {
        for (QAction* action : shell.trayIcon().menu().actions()) {
            if (action->text() == text) return action;
        }
        return nullptr;
    }
};

struct LaunchCase {
    const char* name;
    std::optional<bool> menuBarOnly;
    bool tray;
    bool windowShown;
};

TEST_F(TrayOnlyTest, LaunchShowsTheWindowUnlessTrayOnlyWithATray) {
    const LaunchCase cases[] = {
        {"unset", std::nullopt, true, true},
        {"off", false, true, true},
        {"on with a tray", true, true, false},
        {"on without a tray", true, false, true},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.name);
        settings.clear();
        if (c.menuBarOnly) settings.setValue("menuBarOnly", *c.menuBarOnly);
        trayAvailable = c.tray;
        auto shell = makeShell();
        shell->launch();
        settle();
        EXPECT_EQ(shell->window().isVisible(), c.windowShown);
        EXPECT_EQ(QApplication::quitOnLastWindowClosed(), c.windowShown);
        EXPECT_EQ(shell->activationPolicy().isTrayOnly(), !c.windowShown);
    }
}

TEST_F(TrayOnlyTest, OpenCorvaneShowsAClosedWindowAgainAndActivatesIt) {
    settings.setValue("menuBarOnly", true);
    auto shell = makeShell();
    shell->launch();
    ASSERT_FALSE(shell->window().isVisible());
    trayAction(*shell, "Open Corvane")->trigger();
    settle();
    EXPECT_TRUE(shell->window().isVisible());
    EXPECT_EQ(QApplication::activeWindow(), &shell->window());

    shell->window().close();
    settle();
    ASSERT_FALSE(shell->window().isVisible());
    trayAction(*shell, "Open Corvane")->trigger();
    settle();
    EXPECT_TRUE(shell->window().isVisible());
    EXPECT_EQ(QApplication::activeWindow(), &shell->window());
    EXPECT_NE(shell->window().centralWidget(), nullptr);
}

TEST_F(TrayOnlyTest, TurningTheModeOffBringsTheWindowForwardAndOnKeepsItOpen) {
    auto shell = makeShell();
    shell->launch();
    shell->activationPolicy().setMenuBarOnly(true);
    EXPECT_TRUE(settings.value("menuBarOnly").toBool());
    EXPECT_TRUE(shell->window().isVisible());
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());

    shell->window().close();
    shell->activationPolicy().setMenuBarOnly(false);
    settle();
    EXPECT_TRUE(shell->window().isVisible());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
}

}  // namespace
}  // namespace corvane::app::testing
