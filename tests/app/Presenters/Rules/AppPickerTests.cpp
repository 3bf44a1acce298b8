#include <sys/stat.h>

#include <fstream>

#include <QThreadPool>
#include <gtest/gtest.h>

#include "Presenters/Rules/AppPickerPresenter.hpp"
#include "Presenters/Rules/DesktopEntry.hpp"
#include "Presenters/Rules/InstalledAppsScanner.hpp"
#include "Support/EventLoop.hpp"
#include "Support/Profiles.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;

TEST(DesktopEntry, ReadsTheFirstValueOfEachKeyOfItsOwnGroupOnly) {
    const auto entry = DesktopEntry::parse(
        "# comment\n"
        "[Desktop Entry]\n"
        "Type = Application\n"
        "Name=Text\\sEditor\\\\one\n"
        "Name[de]=Texteditor\n"
        "Name[de_AT]=Texteditor (AT)\n"
        "Name=Second value\n"
        "Comment=a\\nb\r\n"
        "\n"
        "[Desktop Action new]\n"
        "Exec=other\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->value("Type"), "Application");
    EXPECT_EQ(entry->value("Name"), "Text Editor\\one");
    EXPECT_EQ(entry->value("Comment"), "a\nb");
    EXPECT_EQ(entry->value("Exec"), std::nullopt) << "a key of another group";
    EXPECT_EQ(entry->localizedValue("Name", "de_AT.UTF-8"), "Texteditor (AT)");
    EXPECT_EQ(entry->localizedValue("Name", "de_DE"), "Texteditor");
    EXPECT_EQ(entry->localizedValue("Name", "fr_FR@euro"), "Text Editor\\one");
    EXPECT_EQ(entry->localizedValue("Name", "C"), "Text Editor\\one");
    EXPECT_FALSE(DesktopEntry::parse("[Other]\nName=x\n"));
    EXPECT_FALSE(DesktopEntry::parse("Name=x\n"));
    EXPECT_EQ(DesktopEntry::parse("[Desktop Entry]\nName=\xff\n")->value("Name"), "\uFFFD");
}

TEST(DesktopEntry, ExecProgramIsTheFirstWordPastEnvAndItsAssignments) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"firefox %u", "firefox"},
        {"  /usr/bin/gedit --new-window %U", "/usr/bin/gedit"},
        {"\"/opt/My App/bin/tool\" --flag", "/opt/My App/bin/tool"},
        {"\"/opt/a\\\"b\\\\c\\$d\\`e\" x", "/opt/a\"b\\c$d`e"},
        {"my\"quoted part\"rest arg", "myquoted partrest"},
        {"env GDK_BACKEND=x11 FOO_2=a=b /usr/bin/prog --x", "/usr/bin/prog"},
        {"/usr/bin/env LANG=C prog", "prog"},
        {"env prog A=B", "prog"},
        {"env", std::nullopt},
        {"env A=1", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"\"\" x", std::nullopt},
    };
    for (const auto& [exec, program] : cases) EXPECT_EQ(DesktopEntry::execProgram(exec), program) << exec;
}

TEST(InstalledAppsScanner, SeenOnlyNameIsTheLastNonEmptyPart) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"org.example.Tool", "Tool"}, {"curl", "curl"}, {"a.b.", "b"}, {"...", "..."}, {".x", "x"},
    };
    for (const auto& [id, name] : cases) EXPECT_EQ(InstalledAppsScanner::seenOnlyName(id), name);
}

// Application folders of a user and of the system, and a folder of programs.
class InstalledAppsTest : public ::testing::Test {
protected:
    platform::testing::TemporaryDirectory folder;
    fs::path user = folder.path() / "user" / "applications";
    fs::path system = folder.path() / "system" / "applications";
    fs::path bin = folder.path() / "bin";

    void SetUp() override {
        fs::create_directories(user);
        fs::create_directories(system);
        fs::create_directories(bin);
    }
    InstalledAppsScanner::Sources sources(std::string locale = "C") const {
        return {{user, system}, {bin}, std::move(locale)};
    }
    void program(const std::string& name) const {
        std::ofstream(bin / name) << "#!/bin/sh\n";
        ::chmod((bin / name).c_str(), 0755);
    }
    static void entry(const fs::path& folder, const std::string& file, const std::string& keys) {
        std::ofstream(folder / file) << "[Desktop Entry]\n" << keys;
    }
    static void app(const fs::path& folder, const std::string& file, const std::string& name, const std::string& exec,
                    const std::string& extra = "") {
        entry(folder, file, "Type=Application\nName=" + name + "\nExec=" + exec + "\n" + extra);
    }
    static std::vector<std::string> describe(const std::vector<InstalledApp>& apps) {
        std::vector<std::string> lines;
        for (const auto& app : apps) {
            const std::string owner = fs::path(app.path).parent_path().parent_path().filename().string();
            lines.push_back(app.id + " | " + app.name + " | " + owner + (app.seenInLog ? " | seen" : ""));
        }
        return lines;
    }
};

TEST_F(InstalledAppsTest, ListsShownApplicationEntriesUnderTheIdsTheDaemonReports) {
    program("tool");
    program("browser-esr");
    fs::create_symlink(bin / "browser-esr", bin / "browser");
    app(system, "tool.desktop", "System Tool", "tool %F");
    app(user, "tool.desktop", "My Tool", "tool");
    app(system, "browser.desktop", "Browser", "browser %u", "Icon=web-browser\n");
    app(system, "flat.desktop", "Flat", "/usr/bin/flatpak run --branch=stable org.example.Flat",
        "X-Flatpak=org.example.Flat\n");
    app(system, "direct.desktop", "Direct", "env LANG=C " + (folder.path() / "opt" / "direct-prog").string());
    app(system, "a-sys.desktop", "Same Id System", "missing-prog");
    app(user, "b-user.desktop", "Same Id User", "missing-prog --user");
    entry(system, "noname.desktop", "Type=Application\nExec=noname\n");
    app(system, "hidden.desktop", "Hidden", "hidden", "Hidden=true\n");
    app(system, "nodisplay.desktop", "NoDisplay", "nodisplay", "NoDisplay=true\n");
    entry(system, "link.desktop", "Type=Link\nName=Link\nURL=https://example.com\n");
    entry(system, "untyped.desktop", "Name=Untyped\nExec=untyped\n");
    entry(system, "noexec.desktop", "Type=Application\nName=No Exec\n");
    app(system, "hidden-by-user.desktop", "Hidden By User", "hbu");
    app(user, "hidden-by-user.desktop", "Hidden By User", "hbu", "Hidden=true\n");
    app(system, "notes.txt", "Not An Entry", "notes");
    fs::create_directories(system / "sub");
    app(system / "sub", "nested.desktop", "Nested", "nested");

    EXPECT_EQ(describe(InstalledAppsScanner::scan(sources(), {})), (std::vector<std::string>{
                                                                       "browser-esr | Browser | system",
                                                                       "direct-prog | Direct | system",
                                                                       "org.example.Flat | Flat | system",
                                                                       "tool | My Tool | user",
                                                                       "noname | noname | system",
                                                                       "missing-prog | Same Id User | user",
                                                                   }));
    const auto apps = InstalledAppsScanner::scan(sources(), {});
    EXPECT_EQ(apps[0].icon, "web-browser");
    EXPECT_EQ(apps[0].path, (system / "browser.desktop").string());
}

TEST_F(InstalledAppsTest, NamesAreLocalisedAndSortedCaseInsensitivelyWithSeenOnesFirst) {
    app(system, "one.desktop", "beta", "one", "Name[de]=Zeta\n");
    app(system, "two.desktop", "Alpha", "two");
    app(system, "three.desktop", "gamma", "three");
    const std::set<std::string> seen = {"three", "org.example.Tool", "anything"};
    EXPECT_EQ(describe(InstalledAppsScanner::scan(sources("de_DE"), seen)), (std::vector<std::string>{
                                                                                 "anything | anything |  | seen",
                                                                                 "three | gamma | system | seen",
                                                                                 "org.example.Tool | Tool |  | seen",
                                                                                 "two | Alpha | system",
                                                                                 "one | Zeta | system",
                                                                             }));
}

TEST_F(InstalledAppsTest, MissingFoldersAndUnreadableEntriesAreSkipped) {
    app(system, "ok.desktop", "Ok", "ok");
    std::ofstream(system / "big.desktop") << "[Desktop Entry]\nType=Application\nName=Big\nExec=big\n"
                                          << std::string(DesktopEntry::kMaximumSize, '#');
    const InstalledAppsScanner::Sources withMissing{{folder.path() / "nowhere", system}, {}, "C"};
    EXPECT_EQ(describe(InstalledAppsScanner::scan(withMissing, {})), std::vector<std::string>{"ok | Ok | system"});
}

class AppPickerPresenterTest : public InstalledAppsTest {
protected:
    void loadInto(AppPickerPresenter& picker, std::set<std::string> seen) {
        bool loaded = false;
        QObject::connect(&picker, &AppPickerPresenter::loaded, [&loaded] { loaded = true; });
        picker.load(sources(), std::move(seen));
        EXPECT_TRUE(picker.isLoading());
        ASSERT_TRUE(waitUntil([&] { return loaded; }));
        EXPECT_FALSE(picker.isLoading());
    }
    static std::vector<std::string> ids(const std::vector<InstalledApp>& apps) {
        std::vector<std::string> ids;
        for (const auto& app : apps) ids.push_back(app.id);
        return ids;
    }
};

TEST_F(AppPickerPresenterTest, SeenIdentifiersLeaveOutTheUnknownMark) {
    const std::vector<ConnectionRecord> records = {recordOf("?"), recordOf("curl"), recordOf("curl"),
                                                   recordOf("org.example.Tool")};
    EXPECT_EQ(AppPickerPresenter::seenIdentifiers(records), (std::set<std::string>{"curl", "org.example.Tool"}));
}

TEST_F(AppPickerPresenterTest, SearchMatchesNameOrIdAndTheSelectionSurvivesIt) {
    app(system, "editor.desktop", "Text Editor", "gedit");
    app(system, "term.desktop", "Terminal", "xterm");
    AppPickerPresenter picker;
    loadInto(picker, {"org.example.Tool"});
    EXPECT_EQ(ids(picker.seenMatches()), std::vector<std::string>{"org.example.Tool"});
    EXPECT_EQ(ids(picker.installedMatches()), (std::vector<std::string>{"xterm", "gedit"}));

    const std::vector<std::pair<std::string, std::vector<std::string>>> searches = {
        {"", {"org.example.Tool", "xterm", "gedit"}},
        {" \t ", {"org.example.Tool", "xterm", "gedit"}},
        {"  EDIT ", {"gedit"}},
        {"xter", {"xterm"}},
        {"example", {"org.example.Tool"}},
        {"desktop", {}},
    };
    for (const auto& [query, expected] : searches) {
        picker.setQuery(query);
        EXPECT_EQ(ids(picker.matches()), expected) << "“" << query << "”";
    }

    EXPECT_EQ(picker.selectionText(), "Nothing selected");
    picker.setQuery("");
    picker.toggle("gedit");
    picker.toggle("org.example.Tool");
    picker.setQuery("term");
    picker.toggle("xterm");
    picker.toggle("xterm");
    EXPECT_EQ(picker.selectionText(), "2 selected");
    EXPECT_EQ(ids(picker.chosen()), (std::vector<std::string>{"org.example.Tool", "gedit"}));
}

TEST_F(AppPickerPresenterTest, ClosingThePickerDuringTheScanDropsItsResult) {
    for (int i = 0; i < 2000; ++i) {
        app(system, "app" + std::to_string(i) + ".desktop", "App", "prog" + std::to_string(i));
    }
    for (int round = 0; round < 5; ++round) {
        auto picker = std::make_unique<AppPickerPresenter>();
        bool loaded = false;
        QObject::connect(picker.get(), &AppPickerPresenter::loaded, [&loaded] { loaded = true; });
        picker->load(sources(), {"seen"});
        picker.reset();
        QThreadPool::globalInstance()->waitForDone();
        settle();
        EXPECT_FALSE(loaded);
    }
}

}  // namespace
}  // namespace corvane::app::testing
