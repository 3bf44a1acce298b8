// The built app in a real X session (see RealSession) against the daemon in a
// network namespace of the test's own. Root only; it skips when a program it
// needs is missing.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "RealSession.hpp"
#include "Support/Shell.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;
using e2e::Process;
using e2e::shell;
using Node = AccessibilityTree::Node;
using namespace std::chrono_literals;

const std::string kNamespace = "cvw-" + std::to_string(::getpid());

class RealWindowTest : public ::testing::Test {
protected:
    std::optional<RealSession> session;
    bool namespaceMade = false;

    void SetUp() override {
        if (const std::string missing = RealSession::missingRequirement(); !missing.empty()) GTEST_SKIP() << missing;
        session.emplace();
    }

    void TearDown() override {
        session.reset();
        if (namespaceMade) shell("ip netns del " + kNamespace);
    }

    void startDaemon() {
        ASSERT_EQ(shell("ip netns add " + kNamespace + " && ip -n " + kNamespace + " link set lo up"), 0);
        namespaceMade = true;
        const fs::path folder = session->folder();
        session->start("ip netns exec " + kNamespace + " env RUNTIME_DIRECTORY='" + (folder / "run").string() +
                           "' STATE_DIRECTORY='" + (folder / "state").string() + "' " CORVANE_TUNNEL_BINARY,
                       "daemon.log");
        ASSERT_TRUE(RealSession::waitFor([&] { return fs::exists(folder / "run/control.sock"); }, 10s))
            << "no daemon";
    }
};

TEST_F(RealWindowTest, SidebarAndTrayMenuOfTheRunningApp) {
    const std::string desktop = session->startDesktop();
    ASSERT_EQ(desktop, "") << "the X session did not come up";
    startDaemon();
    Process& app = session->startApp();

    const std::string window = session->waitForWindow(20s);
    ASSERT_FALSE(window.empty()) << session->appLog();
    EXPECT_EQ(session->x("getwindowname " + window), "Corvane");
    ASSERT_TRUE(session->connectAccessibility()) << "the app is not on the accessibility bus";
    AccessibilityTree& tree = session->tree();
    const Node corvane = session->app();

    auto sidebarItem = [&](const QString& label) -> std::optional<Node> {
        const auto found = tree.find(corvane, [&](const Node& node) {
            return tree.roleName(node) == "list item" && tree.name(node) == label;
        });
        if (found.empty()) return std::nullopt;
        return found.front();
    };
    for (const QString label : {"Rules", "Proxies", "Simulator", "Settings", "Connections"}) {
        SCOPED_TRACE(label.toStdString());
        const auto item = sidebarItem(label);
        ASSERT_TRUE(item) << "no sidebar row";
        session->click(tree.extents(*item));
        EXPECT_TRUE(RealSession::waitFor([&] { return tree.hasState(*item, AccessibilityTree::kSelected); }, 5s));
        session->screenshot(window, "real-window-" + label.toStdString());
    }

    const std::string trayIcon = session->trayIcon(app);
    ASSERT_FALSE(trayIcon.empty()) << "no tray icon of the app";

    tree.watchShownObjects();
    // The lines of the app's pop-up menu that is on screen now.
    auto trayMenuLines = [&]() {
        std::vector<QString> lines;
        for (const Node& node : tree.shownObjects()) {
            if (node.service != corvane.service || tree.roleName(node) != "popup menu" ||
                !tree.hasState(node, AccessibilityTree::kShowing)) {
                continue;
            }
            for (const Node& item : tree.children(node)) lines.push_back(tree.name(item));
        }
        return lines;
    };
    for (const int button : {3, 1}) {
        SCOPED_TRACE(button == 3 ? "right click" : "left click");
        session->x("mousemove --window " + trayIcon + " 8 8 click " + std::to_string(button));
        std::vector<QString> lines;
        ASSERT_TRUE(RealSession::waitFor([&] { return !(lines = trayMenuLines()).empty(); }, 5s)) << "no tray menu";
        EXPECT_EQ(lines.front(), "Engine: Stopped");
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Open Corvane"), lines.end());
        session->screenshot("root", button == 3 ? "real-window-tray-menu" : "real-window-tray-menu-left-click");
        session->key("Escape");
        EXPECT_TRUE(RealSession::waitFor([&] { return trayMenuLines().empty(); }, 5s));
    }
}

// A second launch in the session ends at once and brings the first app's
// window back from the task bar: one window, one tray icon.
TEST_F(RealWindowTest, ASecondLaunchBringsTheFirstForwardAndEnds) {
    ASSERT_EQ(session->startDesktop(), "") << "the X session did not come up";
    Process& first = session->startApp();
    const std::string window = session->waitForWindow(20s);
    ASSERT_FALSE(window.empty()) << session->appLog();
    ASSERT_TRUE(RealSession::waitFor([&] { return !session->trayIcon(first).empty(); }, 10s)) << "no tray icon";
    session->x("windowminimize --sync " + window);
    ASSERT_TRUE(RealSession::waitFor([&] { return session->waitForWindow(0ms).empty(); }, 5s)) << "not minimised";

    Process& second = session->startApp();
    const std::optional<int> status = session->waitForExit(second, 15s);
    ASSERT_TRUE(status) << "the second launch keeps running\n" << session->appLog();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    EXPECT_EQ(session->waitForWindow(10s), window) << "the first window did not come back";
    const std::string shown = session->x("search --onlyvisible --name '^Corvane$'");
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n') + 1, 1) << shown;
    session->screenshot("root", "real-window-second-launch");
}

}  // namespace
}  // namespace corvane::app::testing
