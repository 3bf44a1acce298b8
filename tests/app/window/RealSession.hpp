#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QRect>
#include <QString>

#include "AccessibilityTree.hpp"
#include "Support/EventLoop.hpp"
#include "Support/Process.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {

// A real X session for the built app: Xvfb, the openbox window manager, the
// trayer system tray, a session bus with the accessibility bus, all on a
// display of its own. The app runs in a mount namespace where the session's
// folder "run" is /run/corvane, so it meets the test's daemon and none of the
// machine's. xdotool types and clicks like a user; the accessibility tree tells
// what the app shows. Every process it starts is stopped by its pid when it
// goes. Root only.
class RealSession {
public:
    using Node = AccessibilityTree::Node;

    RealSession();
    ~RealSession();
    RealSession(const RealSession&) = delete;
    RealSession& operator=(const RealSession&) = delete;

    // Why the session cannot run here (not root, a program missing); empty when it can.
    static std::string missingRequirement();
    // waitUntil with 20 ms between the checks, which start programs and walk
    // the accessibility tree (the accessibility events arrive through the
    // event loop it runs).
    static bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        return waitUntil(done, limit, std::chrono::milliseconds(20));
    }

    const std::filesystem::path& folder() const { return folder_.path(); }
    std::string sessionBus() const;

    // The screen's size and the tray panel's colour (trayer's tint).
    struct Desktop {
        int width = 1280;
        int height = 1024;
        std::string panelTint = "0xdddddd";
    };
    // Starts the display, the buses, the window manager and the tray; what did
    // not come up (empty when all did).
    std::string startDesktop(const Desktop& desktop);
    std::string startDesktop() { return startDesktop(Desktop{}); }
    // Starts `command` with the session's environment, its output in FOLDER/LOG.
    e2e::Process& start(const std::string& command, const std::string& log);
    // Waits until `process` ends by itself, then forgets it; its wait status,
    // none when it still runs after `limit`.
    std::optional<int> waitForExit(e2e::Process& process, std::chrono::milliseconds limit);
    // Stops a process `start` made, and the processes below it.
    void stop(e2e::Process& process);

    // Starts the app in the installed layout (bin/ beside libexec/corvane/),
    // in `networkNamespace` when one is given; its output goes to app.log.
    e2e::Process& startApp(const std::string& networkNamespace = {});
    std::string appLog() const;
    // The id of the app's visible main window; empty when none shows in `limit`.
    std::string waitForWindow(std::chrono::milliseconds limit) const;
    // The X windows of the app process `app`.
    std::vector<std::string> windowsOf(const e2e::Process& app) const;
    // The window of the app's tray icon; empty when there is none.
    std::string trayIcon(const e2e::Process& app) const;

    // Connects to the accessibility bus and finds the app on it; whether it did.
    bool connectAccessibility();
    AccessibilityTree& tree() { return *tree_; }
    const Node& app() const { return *app_; }

    // The app's nodes of `role` whose name `matches` (all of that role without
    // `matches`), as it shows now.
    std::vector<Node> findAll(const QString& role, const std::function<bool(const QString&)>& matches = {}) const;
    // The app's nodes of `role` named `name`, as it shows now.
    std::vector<Node> findAll(const QString& role, const QString& name) const;
    // The first of them, once one shows within `limit`; none when none does.
    std::optional<Node> find(const QString& role, const QString& name,
                             std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // Clicks the sidebar row of `page`; whether it was there and became selected.
    bool clickSidebar(const QString& page) const;
    // Clicks the tray icon of `app` with `button`; the items of the pop-up
    // menu that opened, none when none did within 5 s.
    std::vector<Node> openTrayMenu(const e2e::Process& app, int button = 3);
    // The items of the app's pop-up menu that shows now.
    std::vector<Node> trayMenu() const;

    // xdotool with these arguments on the session's display; what it printed.
    std::string x(const std::string& arguments) const;
    void click(const QRect& area, int button = 1) const;
    // Types `text` into the focused widget.
    void type(const std::string& text) const;
    // Presses keys, e.g. "Return" or "ctrl+a".
    void key(const std::string& keys) const;
    // Saves a picture of `window` ("root" for the whole screen) as <screenshots>/NAME.png.
    void screenshot(const std::string& window, const std::string& name) const;

private:
    platform::testing::TemporaryDirectory folder_;
    std::string display_;
    std::string environment_;
    std::vector<std::unique_ptr<e2e::Process>> processes_;
    std::optional<AccessibilityTree> tree_;
    std::optional<Node> app_;
};

}  // namespace corvane::app::testing
