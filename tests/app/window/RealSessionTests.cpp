// A user's whole session with the built app in a real X session (see
// RealSession), in the host namespace of the end-to-end topology: the app finds
// no daemon and installs it through its helper; proxies and rules are added with
// keyboard and mouse only; real curl and wget traffic goes through the daemon
// and the proxies; the profile and the connections are exported through the
// real file dialogs; the app quits and comes back with its passwords; the
// daemon dies and the network works directly again. Root only; it skips when a
// program it needs is missing.
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include <QColor>
#include <QImage>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "RealSession.hpp"
#include "Service/DetachedDaemon.hpp"
#include "Support/Shell.hpp"
#include "Support/Topology.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;
using e2e::have;
using e2e::kHost;
using e2e::kNet;
using e2e::portOpen;
using e2e::readText;
using e2e::Process;
using e2e::shell;
using e2e::Topology;
using Node = AccessibilityTree::Node;
using namespace std::chrono_literals;

const std::string kTarget = "198.18.0.10";
const std::vector<std::string> kProxyNames = {"dante", "tinyproxy", "microsocks"};
// The rule the default profile brings, then the session's own.
const std::vector<std::string> kRuleNames = {"Local & private networks", "curl via dante", "block wget",
                                             "peer via chain"};
const std::string kPayloadURL = "http://" + kTarget + ":8080/payload.bin";

// The pixels of a screenshot in the chart's received green (the line, not its faded fill).
int linePixels(const fs::path& png) {
    const QImage image(QString::fromStdString(png.string()));
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - 0x28) < 40 && std::abs(pixel.green() - 0xa7) < 40 &&
                std::abs(pixel.blue() - 0x45) < 40) {
                ++count;
            }
        }
    }
    return count;
}

// The "name" of each element of the profile's list `key`.
std::vector<std::string> names(const nlohmann::json& profile, const std::string& key) {
    std::vector<std::string> found;
    for (const auto& element : profile.value(key, nlohmann::json::array())) found.push_back(element.value("name", ""));
    return found;
}

std::size_t lineCount(const fs::path& path) {
    const std::string text = readText(path);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class RealSessionTest : public ::testing::Test {
protected:
    std::unique_ptr<Topology> topology;
    std::optional<RealSession> session;
    bool groupExisted = false;
    std::string window;
    Process* app = nullptr;

    static std::string missingRequirement() {
        if (std::string missing = RealSession::missingRequirement(); !missing.empty()) return missing;
        if (std::string missing = Topology::missingRequirement(); !missing.empty()) return missing;
        for (const char* program : {"curl", "wget", "python3"}) {
            if (!have(program)) return std::string("the session test needs ") + program;
        }
        return {};
    }

    void SetUp() override {
        if (const std::string missing = missingRequirement(); !missing.empty()) GTEST_SKIP() << missing;
        groupExisted = ::getgrnam("corvane") != nullptr;
        topology = std::make_unique<Topology>(Topology::Daemon::none, Topology::DanteLog::connections);
        ASSERT_TRUE(topology->ready) << "the network namespaces could not be set up";
        session.emplace();
        writePayload();
        writeCurlEntry();
        // The target's web server, and the port the proxies' health probes reach
        // (every name resolves to the target in the test network).
        session->start("ip netns exec " + kNet + " python3 -m http.server 8080 --bind " + kTarget +
                           " --directory '" + (folder() / "www").string() + "'",
                       "web.log");
        session->start("ip netns exec " + kNet + " '" + topology->probeProgram.string() + "' tcp-echo 443",
                       "probe-target.log");
        ASSERT_TRUE(e2e::waitFor([&] { return portOpen(kTarget, 8080) && portOpen(kTarget, 443); }, 10s))
            << "the target's servers did not start";
    }

    void TearDown() override {
        stopDaemon(SIGTERM);
        session.reset();
        topology.reset();
        if (!groupExisted && ::getgrnam("corvane") != nullptr) shell("groupdel corvane");
    }

    const fs::path& folder() const { return session->folder(); }
    // Where curl saves the payload.
    fs::path download() const { return folder() / "received.bin"; }
    // The app's own profile file (the shared folder does not exist in its mount namespace).
    fs::path profileFile() const { return folder() / "home/.local/share/Corvane/profile.json"; }

    void writePayload() {
        fs::create_directories(folder() / "www");
        std::mt19937 random(7);
        std::string bytes(3 << 20, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        std::ofstream(folder() / "www/payload.bin", std::ios::binary) << bytes;
    }

    // curl as an installed application, so the picker lists it.
    void writeCurlEntry() {
        const fs::path applications = folder() / "home/.local/share/applications";
        fs::create_directories(applications);
        std::ofstream(applications / "curl.desktop")
            << "[Desktop Entry]\nType=Application\nName=curl\nExec=curl %u\nTerminal=true\n";
    }

    // The daemon the helper started, from the pid file it keeps.
    std::optional<service::DetachedDaemon::Record> daemon() const {
        const auto record = service::DetachedDaemon::parse(readText(folder() / "run/corvane-tunnel.pid"));
        if (!record || service::DetachedDaemon::running(record->pid) != *record) return std::nullopt;
        return record;
    }
    void stopDaemon(int signal) {
        if (!session) return;
        const auto record = daemon();
        if (!record) return;
        // The helper's daemon became our child when the helper ended.
        ::kill(record->pid, signal);
        const auto ended = [&] { return ::waitpid(record->pid, nullptr, WNOHANG) == record->pid; };
        if (!RealSession::waitFor(ended, 10s)) {
            ::kill(record->pid, SIGKILL);
            ::waitpid(record->pid, nullptr, 0);
        }
    }

    // --- Reading the app -------------------------------------------------

    AccessibilityTree& tree() { return session->tree(); }

    // How many nodes of `role` have a name that matches `pattern`.
    std::size_t countMatching(const QString& role, const QRegularExpression& pattern) {
        return session->findAll(role, [&](const QString& name) { return pattern.match(name).hasMatch(); }).size();
    }
    bool shows(const QString& role, const QString& name, std::chrono::milliseconds limit = 10s) {
        return session->find(role, name, limit).has_value();
    }
    // The rows of the Connections table by application: its cells' texts, in column order.
    std::map<QString, std::vector<QString>> connectionRows() {
        constexpr std::size_t kColumns = 8;
        std::vector<QString> cells;
        for (const Node& cell : session->findAll("cell")) cells.push_back(tree().name(cell));
        // find() meets siblings last to first.
        std::reverse(cells.begin(), cells.end());
        std::map<QString, std::vector<QString>> rows;
        for (std::size_t at = 0; at + kColumns <= cells.size(); at += kColumns) {
            rows[cells[at + 1]] = std::vector<QString>(cells.begin() + at, cells.begin() + at + kColumns);
        }
        return rows;
    }
    // Every node's role and name, indented by depth: what the app showed.
    std::string dump() {
        std::string lines;
        std::function<void(const Node&, int)> walk = [&](const Node& node, int depth) {
            if (lines.size() > 60000) return;
            lines += std::string(depth * 2, ' ') + tree().roleName(node).toStdString() + " \"" +
                     tree().name(node).toStdString() + "\"\n";
            for (const Node& child : tree().children(node)) walk(child, depth + 1);
        };
        walk(session->app(), 0);
        return lines;
    }

    // --- Acting as a user ------------------------------------------------

    void press(const QString& role, const QString& name) {
        const auto node = session->find(role, name);
        ASSERT_TRUE(node) << "no " << role.toStdString() << " \"" << name.toStdString() << "\"\n" << dump();
        session->click(tree().extents(*node));
    }
    // Clicks into the text field labelled `label` and replaces its text by typing.
    void fill(const QString& label, const std::string& text) {
        press("text", label);
        session->key("ctrl+a BackSpace");
        session->type(text);
    }
    struct Login {
        std::string user;
        std::string password;
    };
    void addProxy(const std::string& name, bool http, const std::string& port, std::optional<Login> login = {}) {
        press("push button", "Add Proxy");
        ASSERT_TRUE(shows("text", "Host")) << dump();
        fill("Name", name);
        // The protocol menu follows the first letter typed on it.
        if (http) session->key("Tab H");
        fill("Host", "10.203.0.2");
        fill("Port", port);
        if (login) {
            press("check box", "Requires authentication");
            fill("Username", login->user);
            fill("Password", login->password);
        }
        session->key("Return");
        ASSERT_TRUE(RealSession::waitFor([&] { return session->findAll("text", "Host").empty(); }, 10s)) << dump();
    }
    // Opens the rule editor's action menu and picks the option starting with `prefix` by typing it.
    void chooseAction(const std::string& prefix) {
        const auto menu = session->find("combo box", "Direct");
        ASSERT_TRUE(menu) << dump();
        session->click(tree().extents(*menu));
        session->type(prefix);
        session->key("Return");
    }
    void saveRule() {
        press("push button", "Save");
        ASSERT_TRUE(RealSession::waitFor([&] { return session->findAll("text", "Name").empty(); }, 10s)) << dump();
    }
    // Adds the proxy `name` to the chain being edited with the add button on its row.
    void addHop(const QString& name) {
        const auto label = session->find("label", name);
        ASSERT_TRUE(label) << dump();
        const QRect row = tree().extents(*label);
        const auto buttons = tree().find(session->app(), [&](const Node& node) {
            if (tree().roleName(node) != "push button") return false;
            const QRect area = tree().extents(node);
            return area.top() <= row.center().y() && area.bottom() >= row.center().y();
        });
        ASSERT_EQ(buttons.size(), 1u) << dump();
        session->click(tree().extents(buttons.front()));
        // Its row leaves the available proxies.
        EXPECT_TRUE(RealSession::waitFor([&] {
            const auto labels = session->findAll("label", name);
            return std::none_of(labels.begin(), labels.end(),
                                [&](const Node& node) { return tree().extents(node) == row; });
        }, 5s)) << dump();
    }
    // Types `path` into the file dialog that is open and saves there.
    void saveThroughFileDialog(const fs::path& path, const std::string& picture) {
        ASSERT_TRUE(shows("dialog", "Save As")) << dump();
        session->key("ctrl+a BackSpace");
        session->type(path.string());
        screenshot(picture);
        session->key("Return");
        ASSERT_TRUE(RealSession::waitFor([&] { return fs::exists(path); }, 10s)) << dump();
    }
    void quitFromTray() {
        ASSERT_FALSE(session->trayIcon(*app).empty()) << "no tray icon of the app";
        const std::vector<Node> menu = session->openTrayMenu(*app);
        const auto quit = std::find_if(menu.begin(), menu.end(), [&](const Node& item) {
            return tree().name(item) == "Quit";
        });
        ASSERT_NE(quit, menu.end()) << "no Quit in the tray menu";
        screenshot("4-tray-menu");
        session->click(tree().extents(*quit));
        const auto status = session->waitForExit(*app, 20s);
        ASSERT_TRUE(status) << "the app did not quit";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "the app quit with status " << *status << "\n"
                                                                     << session->appLog();
        app = nullptr;
    }
    void screenshot(const std::string& name) { session->screenshot("root", "session-" + name); }

    void startApp() {
        app = &session->startApp(kHost);
        window = session->waitForWindow(30s);
        ASSERT_FALSE(window.empty()) << session->appLog();
        // Nearly as large as the screen (beside the tray), as a user would make it, so every page shows whole.
        session->x("windowmove " + window + " 0 40 windowsize " + window + " 1200 940");
        ASSERT_TRUE(session->connectAccessibility()) << "the app is not on the accessibility bus";
    }

    int run(const std::string& command) { return shell("ip netns exec " + kHost + " " + command); }

    // --- The session's steps ----------------------------------------------

    // No daemon yet: the app offers to install it, and installs it.
    void installTheDaemon() {
        ASSERT_NO_FATAL_FAILURE(startApp());
        ASSERT_TRUE(session->clickSidebar("Settings"));
        ASSERT_TRUE(shows("label", "Not installed")) << dump();
        screenshot("1-not-installed");
        ASSERT_NO_FATAL_FAILURE(press("push button", "Install / Update Service"));
        ASSERT_TRUE(shows("label", "Installed", 30s)) << dump() << session->appLog();
        ASSERT_TRUE(daemon()) << "the helper started no daemon";
        screenshot("1-installed");
    }

    // Proxies and rules, added with keyboard and mouse only; the proxies answer.
    void addProxiesAndRules() {
        ASSERT_TRUE(session->clickSidebar("Proxies"));
        ASSERT_NO_FATAL_FAILURE(addProxy("dante", false, "1080"));
        ASSERT_NO_FATAL_FAILURE(addProxy("tinyproxy", true, "8888"));
        ASSERT_NO_FATAL_FAILURE(addProxy("microsocks", false, "1081", Login{"alice", "s3cret"}));
        ASSERT_NO_FATAL_FAILURE(press("push button", "Check All"));
        const QRegularExpression answered("^(dante|tinyproxy|microsocks), .*, [0-9]+ ms$");
        EXPECT_TRUE(RealSession::waitFor([&] { return countMatching("list item", answered) == 3; }, 20s))
            << dump();
        screenshot("2-proxies");

        // The rules: curl through dante, picked from the installed apps; wget
        // blocked; the peer program through microsocks and then tinyproxy.
        ASSERT_TRUE(session->clickSidebar("Rules"));
        ASSERT_NO_FATAL_FAILURE(press("push button", "Add Rule"));
        ASSERT_TRUE(shows("text", "Name")) << dump();
        ASSERT_NO_FATAL_FAILURE(fill("Name", "curl via dante"));
        ASSERT_NO_FATAL_FAILURE(press("push button", "Choose Apps…"));
        ASSERT_NO_FATAL_FAILURE(press("list item", "curl"));
        screenshot("2-app-picker");
        ASSERT_NO_FATAL_FAILURE(press("push button", "Add to Rule"));
        ASSERT_NO_FATAL_FAILURE(chooseAction("Proxy: d"));
        screenshot("2-rule-curl");
        ASSERT_NO_FATAL_FAILURE(saveRule());

        ASSERT_NO_FATAL_FAILURE(press("push button", "Add Rule"));
        ASSERT_TRUE(shows("text", "Name")) << dump();
        ASSERT_NO_FATAL_FAILURE(fill("Name", "block wget"));
        ASSERT_NO_FATAL_FAILURE(press("text", "Applications"));
        session->type("wget");
        ASSERT_NO_FATAL_FAILURE(chooseAction("Block"));
        ASSERT_NO_FATAL_FAILURE(saveRule());

        ASSERT_NO_FATAL_FAILURE(press("push button", "Add Rule"));
        ASSERT_TRUE(shows("text", "Name")) << dump();
        ASSERT_NO_FATAL_FAILURE(fill("Name", "peer via chain"));
        ASSERT_NO_FATAL_FAILURE(press("text", "Applications"));
        // The peer lies in a folder anyone may write: only its path identifies it.
        session->type(topology->probeProgram.string());
        ASSERT_NO_FATAL_FAILURE(press("push button", "Proxy chain…"));
        ASSERT_TRUE(shows("push button", "Use Chain")) << dump();
        ASSERT_NO_FATAL_FAILURE(addHop("microsocks"));
        ASSERT_NO_FATAL_FAILURE(addHop("tinyproxy"));
        screenshot("2-chain");
        ASSERT_NO_FATAL_FAILURE(press("push button", "Use Chain"));
        ASSERT_TRUE(RealSession::waitFor([&] { return session->findAll("push button", "Use Chain").empty(); }, 10s));
        screenshot("2-rule-chain");
        ASSERT_NO_FATAL_FAILURE(saveRule());
        screenshot("2-rules");

        ASSERT_NO_FATAL_FAILURE(press("push button", "Start"));
        ASSERT_TRUE(shows("label", "Running", 20s)) << dump() << session->appLog();
        screenshot("2-running");
    }

    // Real traffic, watched on the Connections page: curl's download comes
    // through dante intact, over a few of the page's polls; wget is refused.
    void routeRealTraffic() {
        ASSERT_TRUE(session->clickSidebar("Connections"));
        ASSERT_NO_FATAL_FAILURE(press("check box", "Group by app"));
        const std::size_t danteLines = lineCount(topology->folder / "danted.log");
        ASSERT_EQ(run("curl -sS --limit-rate 1M --max-time 30 -o '" + download().string() + "' " + kPayloadURL), 0);
        EXPECT_TRUE(readText(download()) == readText(folder() / "www/payload.bin")) << "the download differs";
        EXPECT_GT(lineCount(topology->folder / "danted.log"), danteLines) << "dante saw no connection";
        EXPECT_NE(run("wget -q --tries=1 --timeout=10 -O /dev/null " + kPayloadURL), 0) << "wget was not blocked";
        // The peer holds its end open until the echo came: an HTTP proxy ends the tunnel at the first half-close.
        const nlohmann::json echoed = topology->probe("tcp-echo-probe", kTarget, 7, 4096);
        EXPECT_EQ(echoed.value("greeting", ""), "peer=" + kTarget) << "not relayed by tinyproxy: " << echoed.dump();
        EXPECT_EQ(echoed.value("received", 0), 17 + 4096) << echoed.dump();
        EXPECT_NE(readText(topology->folder / "tinyproxy.log").find("CONNECT " + kTarget + ":7"), std::string::npos)
            << "the chain did not end at tinyproxy";

        std::map<QString, std::vector<QString>> rows;
        ASSERT_TRUE(RealSession::waitFor([&] {
            rows = connectionRows();
            return rows.contains("curl") && rows.contains("wget") && rows.contains("corvane-e2e-peer");
        }, 10s)) << dump();
        // Application, target, rule, action, and (after the counts) the status.
        EXPECT_EQ(rows["curl"][2], QString::fromStdString(kTarget + ":8080"));
        EXPECT_EQ(rows["curl"][3], "curl via dante");
        EXPECT_EQ(rows["curl"][4], "Proxy: dante");
        EXPECT_EQ(rows["curl"][6], "3.0 MB");
        EXPECT_EQ(rows["wget"][3], "block wget");
        EXPECT_EQ(rows["wget"][4], "Block");
        EXPECT_EQ(rows["wget"][7], "Blocked");
        EXPECT_EQ(rows["corvane-e2e-peer"][4], "Chain: microsocks → tinyproxy");
        // The chart is painted: once it has two samples its received line shows.
        EXPECT_TRUE(RealSession::waitFor([&] {
            screenshot("3-connections");
            return linePixels(fs::path(CORVANE_SCREENSHOT_DIR) / "session-3-connections.png") > 300;
        }, 15s)) << "the throughput chart drew no line";

        // The simulator gives the same verdicts, typed in by hand.
        ASSERT_TRUE(session->clickSidebar("Simulator"));
        ASSERT_NO_FATAL_FAILURE(fill("Application", "curl"));
        ASSERT_NO_FATAL_FAILURE(fill("Host or IP", kTarget));
        ASSERT_NO_FATAL_FAILURE(fill("Port", "8080"));
        EXPECT_TRUE(shows("label", "via rule “curl via dante”")) << dump();
        EXPECT_TRUE(shows("label", "Proxy: dante"));
        screenshot("3-simulator-curl");
        ASSERT_NO_FATAL_FAILURE(fill("Application", "wget"));
        EXPECT_TRUE(shows("label", "via rule “block wget”")) << dump();
        EXPECT_TRUE(shows("label", "Block"));
        screenshot("3-simulator-wget");
    }

    // Export the profile and the connections through the real file dialogs.
    void exportTheProfileAndConnections() {
        const fs::path exportedProfile = folder() / "exported-profile.json";
        ASSERT_TRUE(session->clickSidebar("Settings"));
        ASSERT_NO_FATAL_FAILURE(press("push button", "Export…"));
        ASSERT_NO_FATAL_FAILURE(saveThroughFileDialog(exportedProfile, "4-export-profile"));
        const auto exported = nlohmann::json::parse(readText(exportedProfile), nullptr, false);
        ASSERT_TRUE(exported.is_object() && exported.contains("profile")) << readText(exportedProfile);
        EXPECT_EQ(names(exported["profile"], "proxies"), kProxyNames);
        EXPECT_EQ(names(exported["profile"], "rules"), kRuleNames);
        EXPECT_NE(readText(exportedProfile).find("s3cret"), std::string::npos) << "the export keeps the passwords";
        EXPECT_EQ(fs::status(exportedProfile).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);

        const fs::path exportedCSV = folder() / "connections.csv";
        ASSERT_TRUE(session->clickSidebar("Connections"));
        ASSERT_NO_FATAL_FAILURE(press("push button", "Export CSV"));
        ASSERT_NO_FATAL_FAILURE(saveThroughFileDialog(exportedCSV, "4-export-csv"));
        const std::string csv = readText(exportedCSV);
        EXPECT_TRUE(csv.starts_with("Time,Application,Target,Transport,Action,Rule,Status,BytesSent,BytesReceived\n"))
            << csv;
        const std::string curlRow =
            "\"curl\",\"" + kTarget + ":8080\",\"tcp\",\"Proxy: dante\",\"curl via dante\",\"closed\",91,";
        EXPECT_NE(csv.find(curlRow), std::string::npos) << csv;
        EXPECT_NE(csv.find("\"wget\",\"" + kTarget + ":8080\",\"tcp\",\"Block\",\"block wget\",\"blocked\",0,0"),
                  std::string::npos) << csv;
    }

    // Quitting the app leaves the tunnel running.
    void quitAndComeBack() {
        ASSERT_NO_FATAL_FAILURE(quitFromTray());
        ASSERT_TRUE(daemon()) << "the daemon ended with the app";
        const std::size_t danteBefore = lineCount(topology->folder / "danted.log");
        EXPECT_EQ(run("curl -sS --max-time 30 -o /dev/null " + kPayloadURL), 0);
        EXPECT_GT(lineCount(topology->folder / "danted.log"), danteBefore) << "curl no longer goes through dante";

        // The app comes back with the profile and the passwords.
        ASSERT_NO_FATAL_FAILURE(startApp());
        ASSERT_TRUE(session->clickSidebar("Rules"));
        for (const std::string& rule : kRuleNames) {
            EXPECT_TRUE(shows("list item", QString::fromStdString(rule))) << rule;
        }
        ASSERT_TRUE(session->clickSidebar("Proxies"));
        // microsocks answers only with alice's password: the check passes only when it came back.
        ASSERT_NO_FATAL_FAILURE(press("push button", "Check All"));
        const QRegularExpression microsocksAnswered("^microsocks, .*, [0-9]+ ms$");
        EXPECT_TRUE(RealSession::waitFor([&] { return countMatching("list item", microsocksAnswered) == 1; }, 20s))
            << dump();
        // The editor shows the password's dots (screen readers get no text of a password field).
        const std::vector<Node> microsocks =
            session->findAll("list item", [](const QString& name) { return name.startsWith("microsocks, "); });
        ASSERT_EQ(microsocks.size(), 1u) << dump();
        const QRect row = tree().extents(microsocks.front());
        session->x("mousemove " + std::to_string(row.center().x()) + " " + std::to_string(row.center().y()) +
                   " click --repeat 2 --delay 80 1");
        ASSERT_TRUE(shows("text", "Username")) << dump();
        EXPECT_EQ(tree().text(*session->find("text", "Username")), "alice");
        screenshot("4-restarted-proxy-editor");
        session->key("Escape");
        // The profile file holds no password: it came back from the daemon's configuration.
        EXPECT_EQ(readText(profileFile()).find("s3cret"), std::string::npos);
    }

    // The daemon dies: the app says so, the network works directly, nothing is lost.
    void loseTheDaemon() {
        const auto running = daemon();
        ASSERT_TRUE(running);
        stopDaemon(SIGKILL);
        EXPECT_TRUE(shows("label", "Stopped", 10s)) << dump();
        screenshot("5-daemon-killed");
        ASSERT_TRUE(session->clickSidebar("Settings"));
        EXPECT_TRUE(shows("label", "Not installed", 10s)) << "Settings still reads the lost daemon\n" << dump();
        screenshot("5-settings-without-the-daemon");
        const std::size_t danteAtDeath = lineCount(topology->folder / "danted.log");
        EXPECT_EQ(run("curl -sS --max-time 30 -o '" + download().string() + "' " + kPayloadURL), 0);
        EXPECT_TRUE(readText(download()) == readText(folder() / "www/payload.bin")) << "the download differs";
        EXPECT_EQ(lineCount(topology->folder / "danted.log"), danteAtDeath) << "curl still went through dante";
        EXPECT_EQ(run("wget -q --tries=1 --timeout=10 -O /dev/null " + kPayloadURL), 0) << "wget is still blocked";
        ASSERT_TRUE(session->clickSidebar("Rules"));
        for (const std::string& rule : kRuleNames) {
            EXPECT_TRUE(shows("list item", QString::fromStdString(rule))) << rule;
        }
        screenshot("5-rules-kept");
        const auto saved = nlohmann::json::parse(readText(profileFile()), nullptr, false);
        ASSERT_TRUE(saved.is_object() && saved.contains("profile")) << readText(profileFile());
        EXPECT_EQ(names(saved["profile"], "proxies"), kProxyNames);
        EXPECT_EQ(names(saved["profile"], "rules"), kRuleNames);
    }

};

TEST_F(RealSessionTest, AUserInstallsRoutesExportsQuitsAndLosesTheDaemon) {
    const std::string desktop = session->startDesktop();
    ASSERT_EQ(desktop, "") << "the X session did not come up";
    ASSERT_NO_FATAL_FAILURE(installTheDaemon());
    ASSERT_NO_FATAL_FAILURE(addProxiesAndRules());
    ASSERT_NO_FATAL_FAILURE(routeRealTraffic());
    ASSERT_NO_FATAL_FAILURE(exportTheProfileAndConnections());
    ASSERT_NO_FATAL_FAILURE(quitAndComeBack());
    ASSERT_NO_FATAL_FAILURE(loseTheDaemon());
}

}  // namespace
}  // namespace corvane::app::testing
