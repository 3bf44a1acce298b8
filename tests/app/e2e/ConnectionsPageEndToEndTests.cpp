// The Connections page (offscreen) against the real daemon in network namespaces
// of this test's own: two programs stream through different rules at once, and
// the page shows their rows with their rule and action and growing byte counts
// poll after poll, groups them by program with the right totals, and exports
// what it shows as CSV.
#include <filesystem>
#include <fstream>
#include <iterator>

#include <QTableView>
#include <gtest/gtest.h>

#include "CorvaneCore/Logging/ConnectionGrouping.hpp"
#include "Presenters/FormatBytes.hpp"
#include "Support/EventLoop.hpp"
#include "Support/FakeDesktopServices.hpp"
#include "Support/Profiles.hpp"
#include "Support/RealAppModel.hpp"
#include "Support/Shell.hpp"
#include "Support/TopologyTest.hpp"
#include "Views/Connections/ConnectionsPage.hpp"
#include "Views/Connections/ConnectionTableModel.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kStreamMilliseconds = 9000;

Rule streamRule(std::string name, const fs::path& program, const ProxyServer& proxy) {
    Rule rule = ruleNamed(std::move(name), RuleAction::proxy(proxy.id), {"198.18.0.10/32"}, {program.string()});
    rule.ports = {PortRange{7, 7}};
    return rule;
}

class ConnectionsPageEndToEnd : public e2e::TopologyTest {
protected:
    void SetUp() override {
        e2e::TopologyTest::SetUp();
        if (IsSkipped()) return;
        other = topology()->folder / "corvane-e2e-other";
        fs::copy_file(topology()->probeProgram, other, fs::copy_options::overwrite_existing);
    }

    Profile twoRoutes() const {
        Profile profile;
        profile.proxies = {topology()->dante, topology()->tinyproxy};
        profile.rules = {streamRule("Peer via dante", topology()->probeProgram, topology()->dante),
                         streamRule("Other via tinyproxy", other, topology()->tinyproxy)};
        return profile;
    }
    // Streams to the echo server for a while in the background; its report goes to `report`.
    std::unique_ptr<e2e::Process> stream(const fs::path& program, const fs::path& report) const {
        return std::make_unique<e2e::Process>("ip netns exec " + e2e::kHost + " " + program.string() +
                                              " tcp-stream 198.18.0.10 7 " + std::to_string(kStreamMilliseconds) +
                                              " > " + report.string());
    }
    const ConnectionRecord* shown(const std::string& app) const {
        for (const ConnectionRecord& record : state.records()) {
            if (record.appIdentifier == app && record.target == "198.18.0.10:7") return &record;
        }
        return nullptr;
    }

    fs::path other;
    platform::testing::TemporaryDirectory folder;
    RealAppModel model{topology()->socketPath(), folder.path()};
    AppState& state = model.state;
    QSettings settings{QString::fromStdString((folder.path() / "settings.ini").string()), QSettings::IniFormat};
    FakeDesktopServices desktop;
};

TEST_F(ConnectionsPageEndToEnd, ShowsTwoProgramsStreamingThroughTheirRules) {
    ExtensionManager& manager = state.extensionManager();
    ASSERT_TRUE(waitUntil([&] { return manager.extensionStatus() == ExtensionStatus::installed(); }));
    state.setProfile(twoRoutes());
    state.saveProfile();
    manager.start();
    ASSERT_TRUE(waitUntil([&] { return manager.engineStatus() == EngineStatus::running(); }, 10s));

    ConnectionsPage page(state, settings, desktop);
    page.resize(860, 520);
    page.show();
    int polls = 0;
    QObject::connect(&state, &AppState::recordsChanged, [&] { ++polls; });

    const auto peerStream = stream(topology()->probeProgram, folder.path() / "peer.json");
    const auto otherStream = stream(other, folder.path() / "other.json");
    ASSERT_TRUE(waitUntil([&] { return shown("corvane-e2e-peer") && shown("corvane-e2e-other"); }, 10s));

    // Three more polls while both still stream: every count grows each time.
    ConnectionRecord lastPeer = *shown("corvane-e2e-peer");
    ConnectionRecord lastOther = *shown("corvane-e2e-other");
    for (int poll = 0; poll < 3; ++poll) {
        const int before = polls;
        ASSERT_TRUE(waitUntil([&] { return polls > before; }, 5s));
        const ConnectionRecord* peer = shown("corvane-e2e-peer");
        const ConnectionRecord* second = shown("corvane-e2e-other");
        ASSERT_TRUE(peer && second) << "poll " << poll;
        ASSERT_EQ(peer->status, ConnectionStatus::active) << "poll " << poll;
        ASSERT_EQ(second->status, ConnectionStatus::active) << "poll " << poll;
        EXPECT_GT(peer->bytesSent, lastPeer.bytesSent) << "poll " << poll;
        EXPECT_GT(peer->bytesReceived, lastPeer.bytesReceived) << "poll " << poll;
        EXPECT_GT(second->bytesSent, lastOther.bytesSent) << "poll " << poll;
        EXPECT_GT(second->bytesReceived, lastOther.bytesReceived) << "poll " << poll;
        lastPeer = *peer;
        lastOther = *second;
    }
    EXPECT_EQ(lastPeer.ruleName, "Peer via dante");
    EXPECT_EQ(lastPeer.actionDescription, "Proxy: dante");
    EXPECT_EQ(lastOther.ruleName, "Other via tinyproxy");
    EXPECT_EQ(lastOther.actionDescription, "Proxy: tinyproxy");

    // Grouped (the default): one group per program, its totals the sums of its rows.
    const ConnectionGroupModel& groups = page.groupModel();
    for (const ConnectionRecord* record : {shown("corvane-e2e-peer"), shown("corvane-e2e-other")}) {
        const ConnectionGroup* group = groups.group(groups.indexOfGroup(record->appIdentifier));
        ASSERT_NE(group, nullptr) << record->appIdentifier;
        std::uint64_t sent = 0;
        std::uint64_t received = 0;
        for (const ConnectionRecord& row : group->records) {
            sent += row.bytesSent;
            received += row.bytesReceived;
        }
        EXPECT_EQ(group->bytesSent, sent);
        EXPECT_EQ(group->bytesReceived, received);
        EXPECT_EQ(group->ruleNames.front(), record->ruleName.value());
        EXPECT_EQ(group->records, ConnectionGrouping::byApplication(state.records())[static_cast<std::size_t>(
                                      groups.indexOfGroup(record->appIdentifier).row())]
                                      .records);
    }

    // Flat: the rows show the rule, the action and the counts of the records.
    page.presenter().setGrouped(false);
    const QAbstractItemModel& table = *page.table()->model();
    ASSERT_EQ(table.rowCount(), static_cast<int>(state.records().size()));
    for (int row = 0; row < table.rowCount(); ++row) {
        const ConnectionRecord& record = state.records()[static_cast<std::size_t>(row)];
        EXPECT_EQ(table.index(row, ConnectionTableModel::application).data().toString().toStdString(),
                  record.appIdentifier);
        EXPECT_EQ(table.index(row, ConnectionTableModel::rule).data().toString().toStdString(),
                  record.ruleName.value_or("—"));
        EXPECT_EQ(table.index(row, ConnectionTableModel::action).data().toString().toStdString(),
                  record.actionDescription);
        EXPECT_EQ(table.index(row, ConnectionTableModel::sent).data().toString(), formatBytes(record.bytesSent));
    }

    // The export holds exactly the records shown.
    const fs::path exported = folder.path() / "connections.csv";
    desktop.savePath = QString::fromStdString(exported.string());
    const std::vector<ConnectionRecord> visible = state.records();
    page.presenter().exportCSV();
    EXPECT_EQ(e2e::readText(exported), AppState::connectionsCSV(visible));
    EXPECT_NE(e2e::readText(exported).find(",\"Proxy: tinyproxy\",\"Other via tinyproxy\",\"active\","),
              std::string::npos);

    // Once both end, their closed records carry what the programs counted.
    const auto reported = [&](const char* report) { return e2e::readText(folder.path() / report).ends_with('\n'); };
    ASSERT_TRUE(waitUntil([&] { return reported("peer.json") && reported("other.json"); }, 20s));
    ASSERT_TRUE(waitUntil(
        [&] {
            const ConnectionRecord* peer = shown("corvane-e2e-peer");
            const ConnectionRecord* second = shown("corvane-e2e-other");
            return peer && second && peer->status == ConnectionStatus::closed &&
                   second->status == ConnectionStatus::closed;
        },
        10s));
    const std::pair<const char*, const char*> reports[] = {{"corvane-e2e-peer", "peer.json"},
                                                           {"corvane-e2e-other", "other.json"}};
    for (const auto& [app, report] : reports) {
        const auto counted = nlohmann::json::parse(e2e::readText(folder.path() / report));
        const std::uint64_t none = 0;
        EXPECT_EQ(shown(app)->bytesSent, counted.value("sent", none)) << app << " " << counted.dump();
        EXPECT_EQ(shown(app)->bytesReceived, counted.value("received", none)) << app << " " << counted.dump();
    }
}

}  // namespace
}  // namespace corvane::app::testing
