// The built app in a real X session (see RealSession) against the daemon in a
// network namespace of the test's own: on a tall screen with a light panel,
// and on a laptop's screen with a dark one. Root only; it skips when a program
// it needs is missing.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "RealSession.hpp"
#include "Support/Profiles.hpp"
#include "Support/Shell.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;
using e2e::Process;
using e2e::shell;
using Node = AccessibilityTree::Node;
using namespace std::chrono_literals;

const std::string kNamespace = "cvw-" + std::to_string(::getpid());

// A loopback port nothing listens on: a proxy there fails its check at once.
std::uint16_t closedPort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(socket);
    return ntohs(address.sin_port);
}

double luminance(const QColor& colour) {
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

// The pixels of a picture that stand out from its commonest colour by `ratio`.
int pixelsStandingOut(const QImage& image, double ratio) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
    }
    if (counts.empty()) return 0;
    const QColor background = QColor::fromRgb(
        std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; })
            ->first);
    int standing = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double a = luminance(image.pixelColor(x, y)) + 0.05;
            const double b = luminance(background) + 0.05;
            standing += std::max(a, b) / std::min(a, b) >= ratio;
        }
    }
    return standing;
}

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

    // The app's own profile file, read at its start: two proxies whose checks fail at once.
    void writeProfile() {
        const Profile profile = profileWith({proxyNamed("Office", std::nullopt, "127.0.0.1", closedPort()),
                                             proxyNamed("Travel", std::nullopt, "127.0.0.1", closedPort())});
        const fs::path file = session->folder() / "home/.local/share/Corvane/profile.json";
        fs::create_directories(file.parent_path());
        const std::vector<std::uint8_t> document = ProfileCodec::encode(profile, true);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(document.data()),
                                                    static_cast<std::streamsize>(document.size()));
    }

    // The app's tray icon stands out from the panel (a picture of it and of
    // the whole screen are saved as real-window-tray-icon-SHADE-panel and
    // real-window-SHADE-panel).
    void expectTrayIconShows(const Process& app, const std::string& shade) {
        const std::string icon = session->trayIcon(app);
        ASSERT_FALSE(icon.empty()) << "no tray icon of the app";
        const std::string name = "real-window-tray-icon-" + shade + "-panel";
        session->screenshot(icon, name);
        const QImage shot(QString::fromStdString((fs::path(CORVANE_SCREENSHOT_DIR) / (name + ".png")).string()));
        EXPECT_GT(pixelsStandingOut(shot, 3.0), shot.width() * shot.height() / 8)
            << "the tray icon hardly shows on the " << shade << " panel";
        session->screenshot("root", "real-window-" + shade + "-panel");
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

    for (const QString label : {"Rules", "Proxies", "Simulator", "Settings", "Connections"}) {
        SCOPED_TRACE(label.toStdString());
        EXPECT_TRUE(session->clickSidebar(label));
        session->screenshot(window, "real-window-" + label.toStdString());
    }

    ASSERT_NO_FATAL_FAILURE(expectTrayIconShows(app, "light"));
    for (const int button : {3, 1}) {
        SCOPED_TRACE(button == 3 ? "right click" : "left click");
        std::vector<QString> lines;
        for (const Node& item : session->openTrayMenu(app, button)) lines.push_back(session->tree().name(item));
        ASSERT_FALSE(lines.empty()) << "no tray menu";
        EXPECT_EQ(lines.front(), "Engine: Stopped");
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Open Corvane"), lines.end());
        session->screenshot("root", button == 3 ? "real-window-tray-menu" : "real-window-tray-menu-left-click");
        session->key("Escape");
        EXPECT_TRUE(RealSession::waitFor([&] { return session->trayMenu().empty(); }, 5s));
    }
}


// A laptop's screen (1280×800) under a dark panel: the tray icon stands out
// from the panel, each proxy row offers its Test button to assistive
// technology, and the rule editor (taller than the screen) fits it with its
// title bar, Save and Cancel on the screen.
TEST_F(RealWindowTest, OnALaptopScreenWithADarkPanel) {
    const std::string desktop = session->startDesktop({1280, 800, "0x202020"});
    ASSERT_EQ(desktop, "") << "the X session did not come up";
    startDaemon();
    writeProfile();
    Process& app = session->startApp();
    const std::string window = session->waitForWindow(20s);
    ASSERT_FALSE(window.empty()) << session->appLog();
    ASSERT_TRUE(session->connectAccessibility()) << "the app is not on the accessibility bus";
    AccessibilityTree& tree = session->tree();

    ASSERT_NO_FATAL_FAILURE(expectTrayIconShows(app, "dark"));

    ASSERT_TRUE(session->clickSidebar("Proxies"));
    std::vector<Node> rows;
    ASSERT_TRUE(RealSession::waitFor([&] {
        rows = session->findAll("list item", [](const QString& name) { return name.endsWith(", Failed"); });
        return rows.size() == 2;
    }, 20s)) << "the proxies' checks did not fail";
    for (const Node& row : rows) {
        SCOPED_TRACE(tree.name(row).toStdString());
        const std::vector<Node> below = tree.children(row);
        EXPECT_TRUE(std::any_of(below.begin(), below.end(), [&](const Node& node) {
            return tree.roleName(node) == "push button" && tree.name(node) == "Test";
        })) << "the row's Test button is missing from the accessibility tree";
    }
    session->click(tree.extents(rows.back()));
    EXPECT_TRUE(RealSession::waitFor([&] { return tree.hasState(rows.back(), AccessibilityTree::kSelected); }, 5s));
    session->screenshot(window, "real-window-proxies-chosen");

    ASSERT_TRUE(session->clickSidebar("Rules"));
    const std::optional<Node> add = session->find("push button", "Add Rule");
    ASSERT_TRUE(add);
    session->click(tree.extents(*add));
    const std::optional<Node> save = session->find("push button", "Save");
    const std::optional<Node> cancel = session->find("push button", "Cancel");
    ASSERT_TRUE(save);
    ASSERT_TRUE(cancel);
    // The window manager frames and places the sheet: wait until it stays put.
    QRect placed;
    RealSession::waitFor([&] {
        const QRect before = tree.extents(*save);
        RealSession::waitFor([] { return false; }, 300ms);
        return (placed = tree.extents(*save)) == before;
    }, 5s);
    session->screenshot("root", "real-window-rule-editor-1280x800");
    const QRect screen(0, 0, 1280, 800);
    EXPECT_TRUE(screen.contains(tree.extents(*save))) << "Save lies off the screen";
    EXPECT_TRUE(screen.contains(tree.extents(*cancel))) << "Cancel lies off the screen";
    const std::vector<Node> sheet = session->findAll("dialog");
    ASSERT_FALSE(sheet.empty());
    const QRect sheetAt = tree.extents(sheet.front());
    // The window manager's title bar sits above the sheet, on the screen too.
    EXPECT_GE(sheetAt.top(), 10) << "the sheet's title bar lies off the screen";
    EXPECT_LE(sheetAt.bottom(), screen.bottom());
    session->key("Escape");
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
