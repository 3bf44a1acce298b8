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

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

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
using e2e::capture;
using e2e::have;
using e2e::kHost;
using e2e::kNet;
using e2e::portOpen;
using e2e::Process;
using e2e::shell;
using e2e::Topology;
using Node = AccessibilityTree::Node;
using namespace std::chrono_literals;

const std::string kTarget = "198.18.0.10";
const std::string kPayloadURL = "http://" + kTarget + ":8080/payload.bin";

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string sha256(const fs::path& path) {
    const std::string line = capture("sha256sum '" + path.string() + "' 2>/dev/null");
    return line.substr(0, line.find(' '));
}

std::size_t lineCount(const fs::path& path) {
    const std::string text = contentOf(path);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class RealSessionTest : public ::testing::Test {
protected:
    std::unique_ptr<Topology> topology;
    std::optional<RealSession> session;
    bool groupExisted = false;
    std::string window;

    static std::string missingRequirement() {
        if (std::string missing = RealSession::missingRequirement(); !missing.empty()) return missing;
        if (std::string missing = Topology::missingRequirement(); !missing.empty()) return missing;
        for (const char* program : {"curl", "wget", "python3", "sha256sum"}) {
            if (!have(program)) return std::string("the session test needs ") + program;
        }
        return {};
    }

    void SetUp() override {
        if (const std::string missing = missingRequirement(); !missing.empty()) GTEST_SKIP() << missing;
        groupExisted = ::getgrnam("corvane") != nullptr;
        topology = std::make_unique<Topology>(Topology::Daemon::none);
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
        session.reset();
        stopDaemon(SIGTERM);
        topology.reset();
        if (!groupExisted && ::getgrnam("corvane") != nullptr) shell("groupdel corvane");
    }

    const fs::path& folder() const { return session->folder(); }

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
        const auto record = service::DetachedDaemon::parse(contentOf(folder() / "run/corvane-tunnel.pid"));
        if (!record || service::DetachedDaemon::running(record->pid) != *record) return std::nullopt;
        return record;
    }
    void stopDaemon(int signal) {
        if (!session) return;
        if (const auto record = daemon()) {
            ::kill(record->pid, signal);
            ::waitpid(record->pid, nullptr, 0);
        }
    }

    // --- Reading the app -------------------------------------------------

    AccessibilityTree& tree() { return session->tree(); }

    std::vector<Node> findAll(const QString& role, const QString& name) {
        return tree().find(session->app(), [&](const Node& node) {
            return tree().roleName(node) == role && tree().name(node) == name;
        });
    }
    std::optional<Node> find(const QString& role, const QString& name, std::chrono::milliseconds limit = 10s) {
        std::vector<Node> found;
        RealSession::waitFor([&] { return !(found = findAll(role, name)).empty(); }, limit);
        if (found.empty()) return std::nullopt;
        return found.front();
    }
    // The names of the nodes of `role` whose name matches `pattern`.
    std::vector<QString> namesMatching(const QString& role, const QRegularExpression& pattern) {
        std::vector<QString> names;
        for (const Node& node : tree().find(session->app(), [&](const Node& node) {
                 return tree().roleName(node) == role && pattern.match(tree().name(node)).hasMatch();
             })) {
            names.push_back(tree().name(node));
        }
        return names;
    }
    bool shows(const QString& role, const QString& name, std::chrono::milliseconds limit = 10s) {
        return find(role, name, limit).has_value();
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
        const auto node = find(role, name);
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
        ASSERT_TRUE(RealSession::waitFor([&] { return findAll("text", "Host").empty(); }, 10s)) << dump();
    }
    // Opens the rule editor's action menu and picks the option starting with `prefix` by typing it.
    void chooseAction(const std::string& prefix) {
        const auto menu = find("combo box", "Direct");
        ASSERT_TRUE(menu) << dump();
        session->click(tree().extents(*menu));
        session->type(prefix);
        session->key("Return");
    }
    void saveRule() {
        press("push button", "Save");
        ASSERT_TRUE(RealSession::waitFor([&] { return findAll("text", "Name").empty(); }, 10s)) << dump();
    }
    // Adds the proxy `name` to the chain being edited with the add button on its row.
    void addHop(const QString& name) {
        const auto label = find("label", name);
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
            const auto labels = findAll("label", name);
            return std::none_of(labels.begin(), labels.end(),
                                [&](const Node& node) { return tree().extents(node) == row; });
        }, 5s)) << dump();
    }
    void showPage(const QString& label) {
        const auto item = find("list item", label);
        ASSERT_TRUE(item) << "no sidebar row " << label.toStdString();
        session->click(tree().extents(*item));
        ASSERT_TRUE(RealSession::waitFor([&] { return tree().hasState(*item, AccessibilityTree::kSelected); }, 5s));
    }
    void screenshot(const std::string& name) { session->screenshot("root", "session-" + name); }

    void startApp() {
        session->startApp(kHost);
        window = session->waitForWindow(30s);
        ASSERT_FALSE(window.empty()) << session->appLog();
        ASSERT_TRUE(session->connectAccessibility()) << "the app is not on the accessibility bus";
    }

    int run(const std::string& command) { return shell("ip netns exec " + kHost + " " + command); }
};

TEST_F(RealSessionTest, AUserInstallsRoutesExportsQuitsAndLosesTheDaemon) {
    ASSERT_TRUE(session->startDesktop()) << "the X session did not come up";

    // 1. No daemon yet: the app offers to install it, and installs it.
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_NO_FATAL_FAILURE(showPage("Settings"));
    ASSERT_TRUE(shows("label", "Not installed")) << dump();
    screenshot("1-not-installed");
    ASSERT_NO_FATAL_FAILURE(press("push button", "Install / Update Extension"));
    ASSERT_TRUE(shows("label", "Installed", 30s)) << dump() << session->appLog();
    ASSERT_TRUE(daemon()) << "the helper started no daemon";
    screenshot("1-installed");

    // 2. The proxies, added by hand, answer.
    ASSERT_NO_FATAL_FAILURE(showPage("Proxies"));
    ASSERT_NO_FATAL_FAILURE(addProxy("dante", false, "1080"));
    ASSERT_NO_FATAL_FAILURE(addProxy("tinyproxy", true, "8888"));
    ASSERT_NO_FATAL_FAILURE(addProxy("microsocks", false, "1081", Login{"alice", "s3cret"}));
    ASSERT_NO_FATAL_FAILURE(press("push button", "Check All"));
    const QRegularExpression answered("^(dante|tinyproxy|microsocks), .*, [0-9]+ ms$");
    EXPECT_TRUE(RealSession::waitFor([&] { return namesMatching("list item", answered).size() == 3; }, 20s))
        << dump();
    screenshot("2-proxies");

    // The rules: curl through dante, picked from the installed apps; wget
    // blocked; the peer program through microsocks and then tinyproxy.
    ASSERT_NO_FATAL_FAILURE(showPage("Rules"));
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
    ASSERT_TRUE(RealSession::waitFor([&] { return findAll("push button", "Use Chain").empty(); }, 10s));
    screenshot("2-rule-chain");
    ASSERT_NO_FATAL_FAILURE(saveRule());
    screenshot("2-rules");

    ASSERT_NO_FATAL_FAILURE(press("push button", "Start"));
    ASSERT_TRUE(shows("label", "Running", 20s)) << dump() << session->appLog();
    screenshot("2-running");

    // 3. Real traffic: curl's download comes through dante intact, wget is refused.
    const std::size_t danteLines = lineCount(topology->folder / "danted.log");
    const fs::path received = folder() / "received.bin";
    ASSERT_EQ(run("curl -sS --max-time 30 -o '" + received.string() + "' " + kPayloadURL), 0);
    EXPECT_EQ(sha256(received), sha256(folder() / "www/payload.bin"));
    EXPECT_GT(lineCount(topology->folder / "danted.log"), danteLines) << "dante saw no connection";
    EXPECT_NE(run("wget -q --tries=1 --timeout=10 -O /dev/null " + kPayloadURL), 0) << "wget was not blocked";
    // The peer holds its end open a while: an HTTP proxy ends the tunnel at the first half-close.
    const nlohmann::json echoed = topology->probe("tcp-probe", kTarget, 7, 4096, 500);
    EXPECT_EQ(echoed.value("greeting", ""), "peer=" + kTarget) << "not relayed by tinyproxy: " << echoed.dump();
    EXPECT_EQ(echoed.value("received", 0), 17 + 4096) << echoed.dump();
    EXPECT_NE(contentOf(topology->folder / "tinyproxy.log").find("CONNECT " + kTarget + ":7"), std::string::npos)
        << "the chain did not end at tinyproxy";

    ASSERT_NO_FATAL_FAILURE(showPage("Connections"));
    ASSERT_NO_FATAL_FAILURE(press("check box", "Group by app"));
    ASSERT_TRUE(shows("table cell", "curl")) << dump();
    std::cerr << dump();
    screenshot("3-connections");
}

}  // namespace
}  // namespace corvane::app::testing
