// The built app in a real X session: Xvfb, the openbox window manager and the
// trayer system tray, a session bus with the accessibility bus, and the daemon
// in a network namespace of the test's own; the app runs in a mount namespace
// where that daemon's folder is /run/corvane. xdotool clicks like a user; the
// accessibility tree tells what the app shows. Root only; it skips when a
// program it needs is missing. Every process it starts is stopped by its pid.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "AccessibilityTree.hpp"
#include "Support/Process.hpp"
#include "Support/Shell.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;
using e2e::capture;
using e2e::have;
using e2e::Process;
using e2e::shell;
using Node = AccessibilityTree::Node;
using namespace std::chrono_literals;

const std::string kNamespace = "cvw-" + std::to_string(::getpid());

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// Runs our own event loop (the accessibility events arrive through it) until
// `done` holds or `limit` passes; whether it held.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// A display number no X server uses, derived from our pid.
int freeDisplay() {
    for (int offset = 0; offset < 200; ++offset) {
        const int display = 100 + (::getpid() + offset) % 800;
        const std::string n = std::to_string(display);
        if (!fs::exists("/tmp/.X11-unix/X" + n) && !fs::exists("/tmp/.X" + n + "-lock")) return display;
    }
    return -1;
}

// The pids below `pid` in the process tree.
std::vector<pid_t> descendants(pid_t pid) {
    std::vector<pid_t> all;
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child; children >> child;) {
        all.push_back(child);
        for (pid_t below : descendants(child)) all.push_back(below);
    }
    return all;
}

class RealWindowTest : public ::testing::Test {
protected:
    platform::testing::TemporaryDirectory folder;
    fs::path screenshots = CORVANE_SCREENSHOT_DIR;
    std::string display;
    std::string environment;
    std::vector<std::unique_ptr<Process>> processes;
    bool namespaceMade = false;

    static std::string missingRequirement() {
        if (::geteuid() != 0) return "the real-window test needs root (network and mount namespaces)";
        for (const char* program : {"Xvfb", "openbox", "trayer", "xdotool", "import", "dbus-daemon", "unshare", "ip"}) {
            if (!have(program)) return std::string("the real-window test needs ") + program;
        }
        if (!fs::exists("/usr/libexec/at-spi-bus-launcher")) return "the real-window test needs at-spi2-core";
        return {};
    }

    void SetUp() override {
        if (const std::string missing = missingRequirement(); !missing.empty()) GTEST_SKIP() << missing;
        // Processes our children leave behind become ours, so we can stop and reap them.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        const int number = freeDisplay();
        ASSERT_GT(number, 0) << "no free display number";
        display = ":" + std::to_string(number);
        for (const char* sub : {"home", "xdg-runtime", "run", "state"}) fs::create_directories(folder.path() / sub);
        fs::permissions(folder.path() / "xdg-runtime", fs::perms::owner_all);
        environment = "env DISPLAY=" + display + " DBUS_SESSION_BUS_ADDRESS=" + sessionBus() +
                      " HOME=" + quoted(folder.path() / "home") +
                      " XDG_RUNTIME_DIR=" + quoted(folder.path() / "xdg-runtime") +
                      " XDG_CONFIG_HOME=" + quoted(folder.path() / "home/.config") +
                      " XDG_DATA_HOME=" + quoted(folder.path() / "home/.local/share") +
                      " QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LC_ALL=C TZ=UTC ";
        fs::create_directories(screenshots);
    }

    void TearDown() override {
        AccessibilityTree::disconnectAll();
        for (auto it = processes.rbegin(); it != processes.rend(); ++it) {
            const std::vector<pid_t> below = descendants((*it)->pid());
            (*it)->stop(SIGTERM);
            for (pid_t pid : below) ::kill(pid, SIGTERM);
        }
        processes.clear();
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        if (namespaceMade) shell("ip netns del " + kNamespace);
    }

    std::string sessionBus() const { return "unix:path=" + (folder.path() / "bus").string(); }

    Process& start(const std::string& command, const std::string& log) {
        processes.push_back(
            std::make_unique<Process>(command + " >" + quoted(folder.path() / log) + " 2>&1"));
        return *processes.back();
    }
    std::string x(const std::string& arguments) const {
        return trimmed(capture("env DISPLAY=" + display + " xdotool " + arguments + " 2>/dev/null"));
    }

    void startSession() {
        start("Xvfb " + display + " -screen 0 1280x800x24 -nolisten tcp", "xvfb.log");
        ASSERT_TRUE(waitFor([&] { return fs::exists("/tmp/.X11-unix/X" + display.substr(1)); }, 10s)) << "no Xvfb";
        start(environment + "dbus-daemon --session --nofork --address=" + sessionBus(), "dbus.log");
        ASSERT_TRUE(waitFor([&] { return fs::exists(folder.path() / "bus"); }, 5s)) << "no session bus";
        start(environment + "/usr/libexec/at-spi-bus-launcher --launch-immediately", "at-spi.log");
        start(environment + "openbox", "openbox.log");
        start(environment + "trayer --edge top --align right --widthtype pixel --width 64 --height 32 "
                            "--transparent false --tint 0xdddddd",
              "trayer.log");
        ASSERT_TRUE(waitFor([&] { return !x("search --onlyvisible --class trayer").empty(); }, 10s)) << "no tray";
    }

    void startDaemon() {
        ASSERT_EQ(shell("ip netns add " + kNamespace + " && ip -n " + kNamespace + " link set lo up"), 0);
        namespaceMade = true;
        start("ip netns exec " + kNamespace + " env RUNTIME_DIRECTORY=" + quoted(folder.path() / "run") +
                  " STATE_DIRECTORY=" + quoted(folder.path() / "state") + " " CORVANE_TUNNEL_BINARY,
              "daemon.log");
        ASSERT_TRUE(waitFor([&] { return fs::exists(folder.path() / "run/control.sock"); }, 10s)) << "no daemon";
    }

    // The app sees the test's daemon at /run/corvane and none of the machine's
    // own folders of Corvane.
    Process& startApp() {
        const std::string mounts =
            "mount -t tmpfs tmpfs /run && mkdir -p /run/corvane && mount --bind " + quoted(folder.path() / "run") +
            " /run/corvane && { [ ! -d /var/lib/corvane ] || mount -t tmpfs tmpfs /var/lib/corvane; }";
        return start(environment + "unshare --mount --propagation private sh -c \"" + mounts +
                         " && exec " CORVANE_APP_BINARY "\"",
                     "app.log");
    }

    std::string appLog() const {
        std::ifstream in(folder.path() / "app.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void screenshot(const std::string& window, const std::string& name) const {
        shell("env DISPLAY=" + display + " import -window " + window + " " + quoted(screenshots / (name + ".png")));
    }
    void click(const QRect& area, int button = 1) const {
        x("mousemove " + std::to_string(area.center().x()) + " " + std::to_string(area.center().y()) + " click " +
          std::to_string(button));
    }
};

TEST_F(RealWindowTest, SidebarAndTrayMenuOfTheRunningApp) {
    startSession();
    startDaemon();
    Process& app = startApp();

    std::string window;
    ASSERT_TRUE(waitFor([&] { return !(window = x("search --onlyvisible --name '^Corvane$'")).empty(); }, 20s))
        << appLog();
    window = window.substr(0, window.find('\n'));
    EXPECT_EQ(x("getwindowname " + window), "Corvane");

    std::optional<AccessibilityTree> tree;
    const QString bus = QString::fromStdString(sessionBus());
    ASSERT_TRUE(waitFor([&] { return (tree = AccessibilityTree::connect(bus)).has_value(); }, 10s))
        << "no accessibility bus";
    std::optional<Node> corvane;
    ASSERT_TRUE(waitFor([&] {
        for (const Node& application : tree->applications()) {
            if (tree->name(application).contains("orvane")) corvane = application;
        }
        return corvane.has_value();
    }, 10s)) << "the app is not on the accessibility bus";

    auto sidebarItem = [&](const QString& label) -> std::optional<Node> {
        const auto found = tree->find(*corvane, [&](const Node& node) {
            return tree->roleName(node) == "list item" && tree->name(node) == label;
        });
        if (found.empty()) return std::nullopt;
        return found.front();
    };
    for (const QString label : {"Rules", "Proxies", "Simulator", "Settings", "Connections"}) {
        SCOPED_TRACE(label.toStdString());
        const auto item = sidebarItem(label);
        ASSERT_TRUE(item) << "no sidebar row";
        click(tree->extents(*item));
        EXPECT_TRUE(waitFor([&] { return tree->hasState(*item, AccessibilityTree::kSelected); }, 5s));
        screenshot(window, "real-window-" + label.toStdString());
    }

    std::string trayIcon;
    for (const std::string& candidate : [&] {
             std::vector<std::string> ids;
             std::istringstream lines(x("search --onlyvisible --pid " + std::to_string(app.pid())));
             for (std::string id; std::getline(lines, id);) ids.push_back(id);
             return ids;
         }()) {
        const std::string geometry = x("getwindowgeometry " + candidate);
        const auto at = geometry.find("Geometry: ");
        if (at == std::string::npos) continue;
        const int width = std::stoi(geometry.substr(at + 10));
        if (width <= 64) trayIcon = candidate;
    }
    ASSERT_FALSE(trayIcon.empty()) << "no tray icon of the app";

    tree->watchShownObjects();
    // The lines of the app's pop-up menu that is on screen now.
    auto trayMenuLines = [&]() {
        std::vector<QString> lines;
        for (const Node& node : tree->shownObjects()) {
            if (node.service != corvane->service || tree->roleName(node) != "popup menu" ||
                !tree->hasState(node, AccessibilityTree::kShowing)) {
                continue;
            }
            for (const Node& item : tree->children(node)) lines.push_back(tree->name(item));
        }
        return lines;
    };
    for (const int button : {3, 1}) {
        SCOPED_TRACE(button == 3 ? "right click" : "left click");
        x("mousemove --window " + trayIcon + " 8 8 click " + std::to_string(button));
        std::vector<QString> lines;
        ASSERT_TRUE(waitFor([&] { return !(lines = trayMenuLines()).empty(); }, 5s)) << "no tray menu";
        EXPECT_EQ(lines.front(), "Engine: Stopped");
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Open Corvane"), lines.end());
        screenshot("root", button == 3 ? "real-window-tray-menu" : "real-window-tray-menu-left-click");
        x("key Escape");
        EXPECT_TRUE(waitFor([&] { return trayMenuLines().empty(); }, 5s));
    }
}

}  // namespace
}  // namespace corvane::app::testing
