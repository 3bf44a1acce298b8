// The Connections page over the model: what it shows for the records, its
// stored toggles, the poll's lifetime and the CSV export.
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <ios>
#include <iterator>
#include <string>

#include "Presenters/Connections/ConnectionTexts.hpp"
#include "Presenters/Connections/ConnectionsPresenter.hpp"
#include "Support/PageFixture.hpp"
#include "Support/Records.hpp"

namespace corvane::app::testing {
namespace {

using Content = ConnectionsPresenter::Content;

std::string fileContents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ConnectionsPresenterTest : public PageFixture {
protected:
    ConnectionsPresenter presenter{*state, settings, desktop};

    const ConnectionRecord newest = shownRecord("org.mozilla.firefox", "example.org:443", "Proxy: Office", "Work",
                                                ConnectionStatus::active, 30);
    const ConnectionRecord blocked =
        shownRecord("curl", "10.0.0.5:80", "Block", "No trackers", ConnectionStatus::blocked, 20);
    const ConnectionRecord oldest =
        shownRecord("org.mozilla.firefox", "=cmd|' /C calc'!A0:53", "Direct", std::nullopt, ConnectionStatus::closed, 10);
    const std::vector<ConnectionRecord> records{newest, blocked, oldest};
};

TEST_F(ConnectionsPresenterTest, WithoutRecordsTheEmptyStateShowsWhateverTheFilters) {
    presenter.setSearchText("nothing like it");
    presenter.setStatusFilter(ConnectionStatus::failed);
    EXPECT_EQ(presenter.content(), Content::emptyState);
    EXPECT_FALSE(presenter.showsNoMatchOverlay());
    EXPECT_FALSE(presenter.canExport());
    EXPECT_EQ(presenter.emptyStateHint(),
              "Install the tunnel service on the Settings page to begin routing traffic through your rules.")
        << "no daemon installed";
    installer.activation = [](const ServiceInstaller::ActivationDelegate& d) {
        d.finished(ActivationResult::completed);
    };
    state->extensionManager().install();
    settle();
    EXPECT_EQ(presenter.emptyStateHint(), "Start the engine to begin routing traffic through your rules.");
    runEngine();
    EXPECT_EQ(presenter.emptyStateHint(), "");
}

TEST_F(ConnectionsPresenterTest, RecordsThatAllFailTheFilterShowTheOverlayAndDisableTheExport) {
    showRecords(records);
    EXPECT_EQ(presenter.content(), Content::groups) << "grouped unless switched off";
    EXPECT_TRUE(presenter.canExport());
    presenter.setSearchText("no such host");
    EXPECT_EQ(presenter.content(), Content::groups);
    EXPECT_TRUE(presenter.showsNoMatchOverlay());
    EXPECT_FALSE(presenter.canExport());
    presenter.exportCSV();
    EXPECT_TRUE(desktop.saveDefaultNames.empty()) << "no dialog for nothing to export";

    presenter.setGrouped(false);
    EXPECT_EQ(presenter.content(), Content::table);
    EXPECT_EQ(presenter.searchText(), "no such host") << "switching the layout keeps the filters";
    presenter.setSearchText("");
    EXPECT_FALSE(presenter.showsNoMatchOverlay());
}

TEST_F(ConnectionsPresenterTest, OneFilteringPerPollOrFilterChangeFeedsTheRowsTheOverlayAndTheExport) {
    // Held across the steps: the presenter keeps one filtered list and renews it.
    const std::vector<ConnectionRecord>& kept = presenter.filteredRecords();
    const struct {
        const char* name;
        std::function<void()> step;
    } steps[] = {
        {"a poll", [&] { showRecords(records); }},
        {"a search", [&] { presenter.setSearchText("FIREFOX"); }},
        {"a status", [&] { presenter.setStatusFilter(ConnectionStatus::closed); }},
        {"a poll that nothing passes", [&] { showRecords({blocked}); }},
        {"a search that everything passes",
         [&] {
             presenter.setSearchText("");
             presenter.setStatusFilter(std::nullopt);
         }},
        {"an empty poll", [&] { showRecords({}); }},
    };
    for (const auto& [name, step] : steps) {
        step();
        const ConnectionFilter filter{presenter.searchText().toStdString(), presenter.statusFilter()};
        const std::vector<ConnectionRecord> expected = filter.apply(state->records());
        EXPECT_EQ(kept, expected) << name;
        EXPECT_EQ(presenter.canExport(), !expected.empty()) << name;
        EXPECT_EQ(presenter.showsNoMatchOverlay(), !state->records().empty() && expected.empty()) << name;
        std::size_t grouped = 0;
        for (const ConnectionGroup& group : presenter.groups()) grouped += group.records.size();
        EXPECT_EQ(grouped, expected.size()) << name;
    }
    showRecords(records);
    EXPECT_EQ(ConnectionsPresenter(*state, settings, desktop).filteredRecords(), records)
        << "a presenter made after the poll starts from the model's records";
}

TEST_F(ConnectionsPresenterTest, TheFilterMenuIsTitledAfterTheFilteredStatus) {
    EXPECT_EQ(presenter.filterTitle(), "All");
    const std::pair<ConnectionStatus, const char*> cases[] = {{ConnectionStatus::active, "Active"},
                                                              {ConnectionStatus::closed, "Closed"},
                                                              {ConnectionStatus::failed, "Failed"},
                                                              {ConnectionStatus::blocked, "Blocked"}};
    for (const auto& [status, title] : cases) {
        presenter.setStatusFilter(status);
        EXPECT_EQ(presenter.filterTitle(), title);
    }
    presenter.setStatusFilter(std::nullopt);
    EXPECT_EQ(presenter.filterTitle(), "All");
}

TEST_F(ConnectionsPresenterTest, GroupsComeFromTheFilteredRecordsWithTheirFirstTwoRuleNames) {
    ConnectionRecord second = newest;
    second.id = UUID::random();
    second.ruleName = "Browsing";
    ConnectionRecord third = newest;
    third.id = UUID::random();
    third.ruleName = "Another";
    showRecords({newest, second, third, blocked, oldest});
    const std::vector<ConnectionGroup> groups = presenter.groups();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].appIdentifier, "org.mozilla.firefox");
    EXPECT_EQ(groups[0].ruleNames.size(), 3u);
    EXPECT_EQ(ConnectionTexts::groupRuleNames(groups[0]), "Another, Browsing");
    EXPECT_EQ(ConnectionTexts::groupRuleNames(groups[1]), "No trackers");

    presenter.setStatusFilter(ConnectionStatus::blocked);
    ASSERT_EQ(presenter.groups().size(), 1u);
    EXPECT_EQ(presenter.groups()[0].appIdentifier, "curl");
}

TEST_F(ConnectionsPresenterTest, TheTogglesAreStoredAndAbsentKeysReadAsOn) {
    EXPECT_TRUE(presenter.isGrouped());
    EXPECT_TRUE(presenter.showsChart());
    presenter.setGrouped(false);
    presenter.setShowsChart(false);
    EXPECT_EQ(settings.value("connectionsGrouped"), false);
    EXPECT_EQ(settings.value("showThroughputChart"), false);
    ConnectionsPresenter reopened{*state, settings, desktop};
    EXPECT_FALSE(reopened.isGrouped());
    EXPECT_FALSE(reopened.showsChart());
}

TEST_F(ConnectionsPresenterTest, TheChartShowsOnlyWhenSwitchedOnAndSamplesExist) {
    runEngine();
    answerFetchesWith(std::vector<ConnectionRecord>{});
    presenter.setPolling(true);
    settle();
    EXPECT_FALSE(presenter.showsChartArea()) << "no sample after the first fetch";
    scheduler.advance(RecordsPoll::kPeriod);
    clock.advance(2);
    settle();
    ASSERT_FALSE(state->throughput().empty());
    EXPECT_TRUE(presenter.showsChartArea());
    presenter.setShowsChart(false);
    EXPECT_FALSE(presenter.showsChartArea());
}

TEST_F(ConnectionsPresenterTest, ThePollRunsOnlyWhileThePageIsShown) {
    runEngine();
    answerFetchesWith(std::vector<ConnectionRecord>{});
    presenter.setPolling(true);
    settle();
    EXPECT_EQ(daemon.messages.size(), 1u);
    scheduler.advance(RecordsPoll::kPeriod);
    settle();
    EXPECT_EQ(daemon.messages.size(), 2u);
    presenter.setPolling(false);
    scheduler.advance(RecordsPoll::kPeriod * 3);
    settle();
    EXPECT_EQ(daemon.messages.size(), 2u);
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST_F(ConnectionsPresenterTest, TheExportWritesTheCSVOfTheVisibleRecordsOnce) {
    showRecords(records);
    presenter.setSearchText("firefox");
    const auto path = folder.path() / "out.csv";
    desktop.savePath = QString::fromStdString(path.string());
    presenter.exportCSV();
    EXPECT_EQ(desktop.saveDefaultNames, std::vector<QString>{"Corvane-connections.csv"});
    const std::string expected = AppState::connectionsCSV({newest, oldest});
    EXPECT_EQ(fileContents(path), expected);
    EXPECT_NE(expected.find("\"'=cmd|"), std::string::npos) << "a formula is defused";
    EXPECT_EQ(state->lastError(), std::nullopt);
}

// The export is a file the user makes: it gets the mode the user's umask
// gives new files, as any program's would.
TEST_F(ConnectionsPresenterTest, TheExportTakesTheModeTheUmaskGives) {
    showRecords(records);
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        const mode_t before = ::umask(mask);
        const auto path = folder.path() / ("umask-" + std::to_string(mask) + ".csv");
        desktop.savePath = QString::fromStdString(path.string());
        presenter.exportCSV();
        ::umask(before);
        struct stat file {};
        ASSERT_EQ(::stat(path.c_str(), &file), 0) << path;
        EXPECT_EQ(file.st_mode & 0777, 0666 & ~mask) << "umask " << std::oct << mask;
    }
}

TEST_F(ConnectionsPresenterTest, AFailedExportIsReportedAndACancelledOneIsSilent) {
    showRecords(records);
    presenter.exportCSV();
    EXPECT_EQ(desktop.saveDefaultNames.size(), 1u);
    EXPECT_EQ(state->lastError(), std::nullopt) << "cancelled";

    const auto missing = folder.path() / "missing" / "out.csv";
    desktop.savePath = QString::fromStdString(missing.string());
    presenter.exportCSV();
    ASSERT_TRUE(state->lastError());
    EXPECT_TRUE(state->lastError()->starts_with("Export failed: ")) << *state->lastError();
    EXPECT_GT(state->lastError()->size(), std::string("Export failed: ").size());
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(ConnectionsPresenterTest, AnExportThatCannotBeWrittenIsReportedAndLeavesNoFileBehind) {
    showRecords(records);
    std::ofstream(folder.path() / "plain.txt") << "a file";
    std::filesystem::create_directory(folder.path() / "taken.csv");
    const struct {
        const char* name;
        std::filesystem::path path;
    } cases[] = {
        {"a missing folder", folder.path() / "missing" / "out.csv"},
        {"a file for a folder", folder.path() / "plain.txt" / "out.csv"},
        {"a folder in the way", folder.path() / "taken.csv"},
    };
    for (const auto& c : cases) {
        state->setLastError(std::nullopt);
        desktop.savePath = QString::fromStdString(c.path.string());
        presenter.exportCSV();
        ASSERT_TRUE(state->lastError()) << c.name;
        EXPECT_TRUE(state->lastError()->starts_with("Export failed: ")) << *state->lastError();
        EXPECT_NE(state->lastError()->find(c.path.string()), std::string::npos) << *state->lastError();
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.path() / "taken.csv"));
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".csv."), std::string::npos)
            << "a half-written copy stays: " << entry.path();
    }
}

}  // namespace
}  // namespace corvane::app::testing
