#include "RealSession.hpp"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "Support/Shell.hpp"

namespace corvane::app::testing {

namespace fs = std::filesystem;
using e2e::capture;
using e2e::have;
using e2e::Process;
using e2e::shell;
using namespace std::chrono_literals;

namespace {

// Where the app's installed layout appears inside its mount namespace.
const std::string kInstallRoot = "/run/corvane-app";

std::string shellQuoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// A display number no X server uses, derived from our pid; `skip` passes over that many free ones.
int freeDisplay(int skip) {
    for (int offset = 0; offset < 200; ++offset) {
        const int display = 100 + (::getpid() + offset) % 800;
        const std::string n = std::to_string(display);
        if (!fs::exists("/tmp/.X11-unix/X" + n) && !fs::exists("/tmp/.X" + n + "-lock") && skip-- == 0) return display;
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

// Shell commands that show the built programs at `kInstallRoot` as an installed
// tree: bin/corvane beside libexec/corvane/ with the daemon, its build file and
// the helper. Each file is bound in, not copied, on a root-owned tmpfs, so the
// helper trusts the daemon wherever the build tree lies.
std::string installedLayout() {
    const fs::path tunnel = CORVANE_TUNNEL_BINARY;
    const std::vector<std::pair<fs::path, std::string>> files = {
        {CORVANE_APP_BINARY, "bin/corvane"},
        {tunnel, "libexec/corvane/corvane-tunnel"},
        {tunnel.parent_path() / "corvane-tunnel.build", "libexec/corvane/corvane-tunnel.build"},
        {CORVANE_SERVICE_BINARY, "libexec/corvane/corvane-service"},
    };
    std::string commands = "mkdir -p " + kInstallRoot + "/bin " + kInstallRoot + "/libexec/corvane";
    for (const auto& [source, target] : files) {
        const std::string at = kInstallRoot + "/" + target;
        commands += " && touch " + at + " && mount --bind " + shellQuoted(source) + " " + at;
    }
    return commands;
}

}  // namespace

RealSession::RealSession() {
    // Processes our children leave behind (the daemon the helper detaches)
    // become ours, so we can stop and reap them.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    for (const char* sub : {"home", "xdg-runtime", "run", "state"}) fs::create_directories(folder() / sub);
    fs::permissions(folder() / "xdg-runtime", fs::perms::owner_all);
    fs::create_directories(CORVANE_SCREENSHOT_DIR);
}

RealSession::~RealSession() {
    tree_.reset();
    AccessibilityTree::disconnectAll();
    while (!processes_.empty()) stop(*processes_.back());
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

std::string RealSession::missingRequirement() {
    if (::geteuid() != 0) return "the real-window tests need root (network and mount namespaces)";
    for (const char* program : {"Xvfb", "openbox", "trayer", "xdotool", "import", "dbus-daemon", "unshare", "ip"}) {
        if (!have(program)) return std::string("the real-window tests need ") + program;
    }
    if (!fs::exists("/usr/libexec/at-spi-bus-launcher")) return "the real-window tests need at-spi2-core";
    return {};
}

std::string RealSession::sessionBus() const { return "unix:path=" + (folder() / "bus").string(); }

std::string RealSession::startDesktop(const Desktop& desktop) {
    // The session's environment, also for the helper the app runs as root,
    // which keeps the daemon's state in the session's folder.
    const auto environmentFor = [&](const std::string& display) {
        return "env DISPLAY=" + display + " DBUS_SESSION_BUS_ADDRESS=" + sessionBus() +
               " HOME=" + shellQuoted(folder() / "home") + " XDG_RUNTIME_DIR=" + shellQuoted(folder() / "xdg-runtime") +
               " XDG_CONFIG_HOME=" + shellQuoted(folder() / "home/.config") +
               " XDG_DATA_HOME=" + shellQuoted(folder() / "home/.local/share") +
               " STATE_DIRECTORY=" + shellQuoted(folder() / "state") +
               " QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LC_ALL=C TZ=UTC ";
    };
    // Another session may take the display number between our look and Xvfb's start: try the next one.
    for (int attempt = 0; attempt < 3 && display_.empty(); ++attempt) {
        const int number = freeDisplay(attempt);
        if (number < 0) return "no free display number";
        const std::string screen = std::to_string(desktop.width) + "x" + std::to_string(desktop.height) + "x24";
        Process& server = start("Xvfb :" + std::to_string(number) + " -screen 0 " + screen + " -nolisten tcp", "xvfb.log");
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (waitFor([&] { return fs::exists(socket); }, 20s)) {
            display_ = ":" + std::to_string(number);
        } else {
            stop(server);
        }
    }
    if (display_.empty()) return "Xvfb did not start: " + e2e::readText(folder() / "xvfb.log");
    environment_ = environmentFor(display_);
    start("dbus-daemon --session --nofork --address=" + sessionBus(), "dbus.log");
    if (!waitFor([&] { return fs::exists(folder() / "bus"); }, 20s)) {
        return "no session bus: " + e2e::readText(folder() / "dbus.log");
    }
    start("/usr/libexec/at-spi-bus-launcher --launch-immediately", "at-spi.log");
    start("openbox", "openbox.log");
    // The tray comes after the window manager took over the screen (it then names the current desktop).
    if (!waitFor([&] { return !x("get_desktop").empty(); }, 20s)) {
        return "no window manager: " + e2e::readText(folder() / "openbox.log");
    }
    // Now and then trayer never shows its panel; a second one does.
    for (int attempt = 0; attempt < 3; ++attempt) {
        // Tinted fully (alpha 0): a panel of that colour.
        Process& tray = start("trayer --edge top --align right --widthtype pixel --width 64 --height 32 "
                              "--transparent true --alpha 0 --tint " + desktop.panelTint,
                              "trayer.log");
        if (waitFor([&] { return !x("search --onlyvisible --class trayer").empty(); }, 10s)) return {};
        stop(tray);
    }
    return "no tray: " + e2e::readText(folder() / "trayer.log");
}

Process& RealSession::start(const std::string& command, const std::string& log) {
    processes_.push_back(
        std::make_unique<Process>(environment_ + command + " >>" + shellQuoted(folder() / log) + " 2>&1"));
    return *processes_.back();
}

void RealSession::stop(Process& process) {
    const std::vector<pid_t> below = descendants(process.pid());
    process.stop(SIGTERM);
    for (pid_t pid : below) ::kill(pid, SIGTERM);
    std::erase_if(processes_, [&](const std::unique_ptr<Process>& owned) { return owned.get() == &process; });
}

std::optional<int> RealSession::waitForExit(Process& process, std::chrono::milliseconds limit) {
    const pid_t pid = process.pid();
    int status = 0;
    if (!waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit)) return std::nullopt;
    std::erase_if(processes_, [&](const std::unique_ptr<Process>& owned) {
        if (owned.get() != &process) return false;
        owned->forget();
        return true;
    });
    return status;
}

Process& RealSession::startApp(const std::string& networkNamespace) {
    const std::string mounts =
        "umask 022 && mount -t tmpfs -o mode=755 tmpfs /run && mkdir -p /run/corvane && mount --bind " +
        shellQuoted(folder() / "run") + " /run/corvane && " + installedLayout() +
        " && { [ ! -d /var/lib/corvane ] || mount -t tmpfs tmpfs /var/lib/corvane; }";
    const std::string inNamespace = networkNamespace.empty() ? "" : "ip netns exec " + networkNamespace + " ";
    return start(inNamespace + "unshare --mount --propagation private sh -c \"" + mounts + " && exec " +
                     kInstallRoot + "/bin/corvane\"",
                 "app.log");
}

std::string RealSession::appLog() const { return e2e::readText(folder() / "app.log"); }

std::string RealSession::waitForWindow(std::chrono::milliseconds limit) const {
    std::string window;
    waitFor([&] { return !(window = x("search --onlyvisible --name '^Corvane$'")).empty(); }, limit);
    return window.substr(0, window.find('\n'));
}

std::vector<std::string> RealSession::windowsOf(const Process& app) const {
    std::vector<std::string> ids;
    std::istringstream lines(x("search --onlyvisible --pid " + std::to_string(app.pid())));
    for (std::string id; std::getline(lines, id);) ids.push_back(id);
    return ids;
}

std::string RealSession::trayIcon(const Process& app) const {
    for (const std::string& candidate : windowsOf(app)) {
        const std::string geometry = x("getwindowgeometry " + candidate);
        const auto at = geometry.find("Geometry: ");
        if (at != std::string::npos && std::stoi(geometry.substr(at + 10)) <= 64) return candidate;
    }
    return {};
}

bool RealSession::connectAccessibility() {
    app_.reset();
    if (!tree_ && !waitFor([&] { return (tree_ = AccessibilityTree::connect(QString::fromStdString(sessionBus())))
                                            .has_value(); },
                           10s)) {
        return false;
    }
    return waitFor([&] {
        for (const Node& application : tree_->applications()) {
            if (tree_->name(application).contains("orvane")) app_ = application;
        }
        return app_.has_value();
    }, 10s);
}

std::vector<RealSession::Node> RealSession::findAll(const QString& role,
                                                   const std::function<bool(const QString&)>& matches) const {
    return tree_->find(*app_, [&](const Node& node) {
        return tree_->roleName(node) == role && (!matches || matches(tree_->name(node)));
    });
}

std::vector<RealSession::Node> RealSession::findAll(const QString& role, const QString& name) const {
    return findAll(role, [&](const QString& named) { return named == name; });
}

std::optional<RealSession::Node> RealSession::find(const QString& role, const QString& name,
                                                   std::chrono::milliseconds limit) const {
    std::vector<Node> found;
    if (!waitFor([&] { return !(found = findAll(role, name)).empty(); }, limit)) return std::nullopt;
    return found.front();
}

bool RealSession::clickSidebar(const QString& page) const {
    const std::optional<Node> row = find("list item", page);
    if (!row) return false;
    click(tree_->extents(*row));
    return waitFor([&] { return tree_->hasState(*row, AccessibilityTree::kSelected); }, 5s);
}

std::vector<RealSession::Node> RealSession::openTrayMenu(const Process& app, int button) {
    const std::string icon = trayIcon(app);
    if (icon.empty()) return {};
    tree_->watchShownObjects();
    x("mousemove --window " + icon + " 8 8 click " + std::to_string(button));
    std::vector<Node> items;
    waitFor([&] { return !(items = trayMenu()).empty(); }, 5s);
    return items;
}

std::vector<RealSession::Node> RealSession::trayMenu() const {
    std::vector<Node> items;
    for (const Node& menu : tree_->shownObjects()) {
        if (menu.service != app_->service || tree_->roleName(menu) != "popup menu" ||
            !tree_->hasState(menu, AccessibilityTree::kShowing)) {
            continue;
        }
        for (const Node& item : tree_->children(menu)) items.push_back(item);
    }
    return items;
}

std::string RealSession::x(const std::string& arguments) const {
    return trimmed(capture("env DISPLAY=" + display_ + " xdotool " + arguments + " 2>/dev/null"));
}

void RealSession::click(const QRect& area, int button) const {
    x("mousemove " + std::to_string(area.center().x()) + " " + std::to_string(area.center().y()) + " click " +
      std::to_string(button));
}

void RealSession::type(const std::string& text) const { x("type --delay 20 " + shellQuoted(text)); }

void RealSession::key(const std::string& keys) const { x("key --delay 40 " + keys); }

void RealSession::screenshot(const std::string& window, const std::string& name) const {
    shell("env DISPLAY=" + display_ + " import -window " + window + " " +
          shellQuoted(fs::path(CORVANE_SCREENSHOT_DIR) / (name + ".png")));
}

}  // namespace corvane::app::testing
