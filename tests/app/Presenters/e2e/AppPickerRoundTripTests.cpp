// The application picker's identifiers against the real daemon, in network
// namespaces of this test's own: a program started from a desktop entry in a
// temporary XDG folder is picked in the picker, and the rule made from the
// pick matches that program's connection in the daemon's records.
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "Presenters/Proxies/ProxiesPresenter.hpp"
#include "Presenters/Rules/AppPickerPresenter.hpp"
#include "Presenters/Rules/RuleEditorPresenter.hpp"
#include "Presenters/Rules/RulesPresenter.hpp"
#include "Support/EventLoop.hpp"
#include "Support/RealAppModel.hpp"
#include "Support/Shell.hpp"
#include "Support/TopologyTest.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A folder that only root can write to, up to the file system's root: the
// daemon trusts a program's identifier only for a program stored so (the
// temporary folder's parent /tmp is writable by everyone).
class ProtectedFolder {
public:
    ProtectedFolder() {
        std::string pattern = "/run/cvt-picker-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ProtectedFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    ProtectedFolder(const ProtectedFolder&) = delete;
    ProtectedFolder& operator=(const ProtectedFolder&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string shellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class AppPickerRoundTrip : public e2e::TopologyTest {
protected:
    // A program reached through a symbolic link on the search path, and a
    // desktop entry that starts it through env with an assignment.
    void installProgram() {
        fs::create_directories(applications);
        fs::create_directories(bin);
        fs::copy_file(topology()->probeProgram, bin / "corvane-roundtrip-peer");
        ::chmod((bin / "corvane-roundtrip-peer").c_str(), 0755);
        fs::create_symlink("corvane-roundtrip-peer", bin / "roundtrip-tool");
        std::ofstream(applications / "org.example.RoundTrip.desktop")
            << "[Desktop Entry]\nType=Application\nName=Round Trip\nIcon=network-workgroup\n"
            << "Exec=env CVT_ROUND_TRIP=1 roundtrip-tool tcp-echo-probe 198.18.0.10 7 1000\n";
    }
    static std::string daemonLog() {
        std::ifstream in(topology()->folder / "daemon.log");
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    InstalledAppsScanner::Sources sources() const { return {{applications}, {bin}, "C"}; }

    std::vector<InstalledApp> scan(AppPickerPresenter& picker, std::set<std::string> seen) {
        bool loaded = false;
        QObject::connect(&picker, &AppPickerPresenter::loaded, [&loaded] { loaded = true; });
        picker.load(sources(), std::move(seen));
        EXPECT_TRUE(waitUntil([&] { return loaded; }));
        return picker.apps();
    }

    // Runs the entry's command in the host namespace, as a launcher would.
    std::string launch() const {
        const auto entry = DesktopEntry::read(applications / "org.example.RoundTrip.desktop");
        const std::string path = bin.string() + ":/usr/bin:/bin";
        std::string command = "ip netns exec " + e2e::kHost + " env PATH=" + shellQuoted(path);
        for (const std::string& word : DesktopEntry::execArguments(*entry->value("Exec")))
            command += " " + shellQuoted(word);
        return e2e::capture(command);
    }

    platform::testing::TemporaryDirectory folder;
    fs::path applications = folder.path() / "xdg" / "applications";
    ProtectedFolder programs;
    fs::path bin = programs.path() / "bin";
    RealAppModel model{topology()->socketPath(), folder.path()};
    AppState& state = model.state;
};

TEST_F(AppPickerRoundTrip, ARulePickedFromADesktopEntryMatchesTheProgramsConnection) {
    ExtensionManager& manager = state.extensionManager();
    ASSERT_TRUE(waitUntil([&] { return manager.extensionStatus() == ExtensionStatus::installed(); }));
    ASSERT_FALSE(programs.path().empty()) << "no folder for the program under /run";
    installProgram();

    ProxyServer microsocks = topology()->microsocks;
    microsocks.credentials = ProxyCredentials{"alice", "s3cret"};
    ProxiesPresenter proxies(state);
    proxies.append(microsocks);

    AppPickerPresenter picker;
    const auto apps = scan(picker, AppPickerPresenter::seenIdentifiers(state.records()));
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].name, "Round Trip");
    EXPECT_EQ(apps[0].id, "corvane-roundtrip-peer") << "the program behind the link, as the kernel names it";
    picker.toggle(apps[0].id);

    RulesPresenter rules(state);
    RuleEditorPresenter editor(state, RulesPresenter::newRule());
    editor.setName("Picked app");
    editor.addApps(picker.chosen());
    editor.chooseAction(2);
    ASSERT_EQ(editor.actionOptions()[2].label, "Proxy: microsocks");
    ASSERT_TRUE(editor.canSave());
    rules.append(*editor.save());
    EXPECT_EQ(state.lastError(), std::nullopt);

    manager.start();
    ASSERT_TRUE(waitUntil([&] { return manager.engineStatus() == EngineStatus::running(); }, 10s));
    auto poll = state.pollRecords();

    const auto report = launch();
    // Only the proxy, beside the target, reaches it from the target's own address.
    EXPECT_NE(report.find("peer=198.18.0.10"), std::string::npos) << report;
    std::optional<ConnectionRecord> matched;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const ConnectionRecord& record : state.records())
                if (record.target == "198.18.0.10:7") matched = record;
            return matched.has_value();
        },
        10s))
        << daemonLog();
    EXPECT_EQ(matched->appIdentifier, "corvane-roundtrip-peer");
    EXPECT_EQ(matched->ruleName, "Picked app");
    EXPECT_EQ(matched->actionDescription, "Proxy: microsocks");

    AppPickerPresenter again;
    const auto seen = scan(again, AppPickerPresenter::seenIdentifiers(state.records()));
    ASSERT_EQ(seen.size(), 1u) << "the seen identifier is the installed app's";
    EXPECT_TRUE(seen[0].seenInLog);
    EXPECT_EQ(seen[0].path, (applications / "org.example.RoundTrip.desktop").string());
}

}  // namespace
}  // namespace corvane::app::testing
