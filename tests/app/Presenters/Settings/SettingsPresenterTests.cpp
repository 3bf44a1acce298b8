// The Settings page over the model: profile checks, default action, extension
// status, version, and the profile's export and import.
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include <QSignalSpy>

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "Presenters/Settings/SettingsPresenter.hpp"
#include "Support/PageFixture.hpp"
#include "Support/Profiles.hpp"
#include "Support/Records.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string encoded(const Profile& profile) {
    const auto bytes = ProfileCodec::encode(profile, true);
    return std::string(bytes.begin(), bytes.end());
}

class SettingsPresenterTest : public PageFixture {
protected:
    SettingsPresenter presenter{*state, desktop};
    const ProxyServer office = proxyNamed("Office", "s3cret");
    const ProxyServer home = proxyNamed("Home", "hunter2");

    std::size_t saves() const { return daemon.saves.size(); }
    QString pathIn(const std::string& name) const { return QString::fromStdString((folder.path() / name).string()); }
};

TEST_F(SettingsPresenterTest, TheChecksListTheProfilesFindings) {
    state->setProfile(Profile::empty);
    const auto checks = presenter.profileChecks();
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].severity, ProfileCodec::Severity::warning);
    EXPECT_EQ(checks[0].message, "No rules are enabled; every connection uses the default action.");
}

TEST_F(SettingsPresenterTest, TheDefaultActionOffersDirectBlockAndEveryProxy) {
    const ProxyServer gone = proxyNamed("Gone");
    const struct {
        RuleAction action;
        std::optional<int> index;
    } cases[] = {
        {RuleAction::direct(), 0},
        {RuleAction::block(), 1},
        {RuleAction::proxy(office.id), 2},
        {RuleAction::proxy(home.id), 3},
        {RuleAction::proxy(gone.id), std::nullopt},
        {RuleAction::chain({office.id, home.id}), std::nullopt},
        {RuleAction::failover({office.id}), std::nullopt},
    };
    for (const auto& c : cases) {
        state->setProfile(profileWith({office, home}, c.action));
        EXPECT_EQ(presenter.defaultActionOptions(),
                  (QStringList{"Direct", "Block", "Proxy: Office", "Proxy: Home"}));
        EXPECT_EQ(presenter.defaultActionIndex(), c.index) << state->actionLabel(c.action);
    }
}

TEST_F(SettingsPresenterTest, ChoosingADefaultActionSavesOnlyAChange) {
    const RuleAction chain = RuleAction::chain({office.id, home.id});
    state->setProfile(profileWith({office, home}, chain));
    state->saveProfile();
    settle();
    const std::size_t before = saves();
    presenter.chooseDefaultAction(-1);
    presenter.chooseDefaultAction(4);
    settle();
    EXPECT_EQ(state->profile().defaultAction, chain) << "no option, nothing written";
    EXPECT_EQ(saves(), before);

    presenter.chooseDefaultAction(3);
    settle();
    EXPECT_EQ(state->profile().defaultAction, RuleAction::proxy(home.id));
    EXPECT_EQ(state->store().load().defaultAction, RuleAction::proxy(home.id));
    EXPECT_EQ(saves(), before + 1);
    presenter.chooseDefaultAction(3);
    settle();
    EXPECT_EQ(saves(), before + 1) << "the same option again saves nothing";
}

TEST_F(SettingsPresenterTest, TheExportIsWrittenOnceWithPasswordsForItsOwnerOnly) {
    state->setProfile(profileWith({office}));
    presenter.exportProfile();
    EXPECT_EQ(desktop.saveDefaultNames, std::vector<QString>{"Corvane-profile.json"});
    EXPECT_FALSE(fs::exists(folder.path() / "Corvane-profile.json")) << "cancelled";

    desktop.savePath = pathIn("export.json");
    presenter.exportProfile();
    std::ifstream in(folder.path() / "export.json", std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, encoded(state->profile()));
    EXPECT_NE(written.find("s3cret"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat((folder.path() / "export.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    desktop.savePath = pathIn("missing/export.json");
    presenter.exportProfile();
    ASSERT_TRUE(state->lastError());
    EXPECT_TRUE(state->lastError()->starts_with("Export failed: ")) << *state->lastError();
}

TEST_F(SettingsPresenterTest, ImportTakesExportedStoredAndBareProfiles) {
    const Profile original = profileWith({office, home}, RuleAction::block());
    const Profile stored = original.strippingCredentialSecrets();
    const std::string bare = toJson(original).dump();
    const struct {
        const char* name;
        std::string bytes;
        Profile expected;
    } cases[] = {
        {"exported", encoded(original), original},
        {"stored", encoded(stored), stored},
        {"bare profile", bare, original},
    };
    for (const auto& c : cases) {
        state->setProfile(Profile::empty);
        writeFile(folder.path() / "import.json", c.bytes);
        desktop.openPath = pathIn("import.json");
        const std::size_t before = saves();
        presenter.importProfile();
        settle();
        EXPECT_EQ(state->profile(), c.expected) << c.name;
        EXPECT_EQ(state->lastError(), std::nullopt) << c.name;
        EXPECT_EQ(saves(), before + 1) << c.name;
        EXPECT_EQ(storedProfile(*daemon.stored), c.expected) << c.name << ": the daemon gets the passwords";
        EXPECT_EQ(state->store().load(), c.expected.strippingCredentialSecrets()) << c.name;
    }
}

TEST_F(SettingsPresenterTest, AFailedImportIsReportedAndLeavesTheProfile) {
    const Profile before = profileWith({office}, RuleAction::block());
    state->setProfile(before);
    std::string newer = encoded(before);
    newer.replace(newer.find("\"version\": 1"), 12, "\"version\": 2");
    std::string badPort = encoded(before);
    badPort.replace(badPort.find("\"port\": 1080"), 12, "\"port\": 70000");
    const struct {
        const char* name;
        std::optional<std::string> bytes;
        std::string error;
    } cases[] = {
        {"version 2", newer,
         "Import failed: This profile was written by a newer version of Corvane (document version 2); this version "
         "reads version 1 and older."},
        {"not JSON", "{\n  \"version\": 1,\n  oops",
         "Import failed: The data is not valid JSON: syntax error while parsing object key - invalid literal; "
         "expected string literal (at line 3, column 3)."},
        {"empty", "",
         "Import failed: The data is not valid JSON: syntax error while parsing value - unexpected end of input; "
         "expected '[', '{', or a literal (at line 1, column 1)."},
        {"a port out of range", badPort,
         "Import failed: “port”: expected an integer from 0 to 65535 (at profile.proxies[0])."},
        {"missing", std::nullopt, "Import failed: No such file or directory"},
    };
    for (const auto& c : cases) {
        fs::remove(folder.path() / "import.json");
        if (c.bytes) writeFile(folder.path() / "import.json", *c.bytes);
        desktop.openPath = pathIn("import.json");
        state->setLastError(std::nullopt);
        presenter.importProfile();
        settle();
        EXPECT_EQ(state->lastError(), c.error) << c.name;
        EXPECT_EQ(state->profile(), before) << c.name;
    }

    desktop.openPath.reset();
    state->setLastError(std::nullopt);
    presenter.importProfile();
    EXPECT_EQ(state->lastError(), std::nullopt) << "cancelled";
}

TEST_F(SettingsPresenterTest, TheExtensionStatusReadsInWords) {
    using Delegate = ServiceInstaller::ActivationDelegate;
    const struct {
        std::function<void(const Delegate&)> activation;
        const char* text;
    } cases[] = {
        {[](const Delegate&) {}, "Installing…"},
        {[](const Delegate& d) { d.needsUserApproval(); }, "Waiting for administrator approval"},
        {[](const Delegate& d) { d.finished(ActivationResult::completed); }, "Installed"},
        {[](const Delegate& d) { d.failed({"pkexec", 126, "Not authorised."}); }, "Failed: [126] Not authorised."},
    };
    for (const auto& c : cases) {
        installer.activation = c.activation;
        auto fresh = startedState();
        SettingsPresenter shown{*fresh, desktop};
        EXPECT_EQ(shown.extensionStatusText(), "Not installed");
        shown.installExtension();
        settle();
        EXPECT_EQ(shown.extensionStatusText(), c.text);
    }
    installer.properties = {ExtensionProperties{"", "", false, false, false, true}};
    auto refused = startedState();
    EXPECT_EQ(SettingsPresenter(*refused, desktop).extensionStatusText(),
              "Installed, but this account may not use it: it must be a member of the group “corvane”. "
              "Install / Update Service adds it; then log in again.")
        << "a socket that refuses this account";
}

TEST_F(SettingsPresenterTest, OnlyAChangeOfWhatThePageShowsRefreshesIt) {
    QSignalSpy refreshes(&presenter, &SettingsPresenter::changed);
    installer.activation = [](const ServiceInstaller::ActivationDelegate& d) {
        d.finished(ActivationResult::completed);
    };
    const struct {
        const char* name;
        std::function<void()> change;
        bool refreshes;
    } cases[] = {
        {"the engine starting", [this] { runEngine(); }, false},
        {"a records poll", [this] { showRecords({shownRecord("curl", "example.org:443", "Direct", std::nullopt)}); },
         false},
        {"an error", [this] { state->setLastError("Export failed: disk full"); }, false},
        {"the profile", [this] { state->setProfile(profileWith({office})); }, true},
        {"the extension's status",
         [this] {
             state->extensionManager().install();
             settle();
         },
         true},
    };
    for (const auto& c : cases) {
        refreshes.clear();
        c.change();
        EXPECT_EQ(!refreshes.isEmpty(), c.refreshes) << c.name;
    }
}

TEST_F(SettingsPresenterTest, TheProfileLocationIsShownInTheFileManager) {
    EXPECT_EQ(presenter.profileLocation(), QString::fromStdString(currentFile().string()));
    presenter.showProfileInFileManager();
    EXPECT_EQ(desktop.shownInFileManager, std::vector<QString>{presenter.profileLocation()});
}

}  // namespace
}  // namespace corvane::app::testing
