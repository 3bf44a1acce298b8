#include "Shared/SharedConstants.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace corvane::SharedConstants {
namespace {

namespace fs = std::filesystem;

TEST(SharedConstantsTest, ProfileLivesInTheContainerElseInTheUserDataFolder) {
    EXPECT_EQ(profileURL(Folders{"/var/lib/corvane/shared", "/home/ada/.local/share"}),
              fs::path("/var/lib/corvane/shared/profile.json"));
    EXPECT_EQ(profileURL(Folders{std::nullopt, "/home/ada/.local/share"}),
              fs::path("/home/ada/.local/share/Corvane/profile.json"));
    EXPECT_EQ(profileURL(Folders{}), std::nullopt);
    EXPECT_EQ(fs::path(appGroupContainer), fs::path("/var/lib/corvane/shared"));
}

TEST(SharedConstantsTest, UserDataFolderFollowsTheXdgRules) {
    struct Case {
        const char* xdgDataHome;
        const char* home;
        std::optional<fs::path> folder;
    };
    const Case cases[] = {
        {"/data/ada", "/home/ada", fs::path("/data/ada")},
        {nullptr, "/home/ada", fs::path("/home/ada/.local/share")},
        {"", "/home/ada", fs::path("/home/ada/.local/share")},
        {"relative/data", "/home/ada", fs::path("/home/ada/.local/share")},  // must be absolute
        {"/data/ada", nullptr, fs::path("/data/ada")},
        {nullptr, nullptr, std::nullopt},
        {nullptr, "", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(userDataFolder(c.xdgDataHome, c.home), c.folder)
            << (c.xdgDataHome ? c.xdgDataHome : "(unset)") << " " << (c.home ? c.home : "(unset)");
    }
}

class SystemFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-shared-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        if (const char* value = std::getenv("XDG_DATA_HOME")) savedXdg = value;
    }
    void TearDown() override {
        if (savedXdg) ::setenv("XDG_DATA_HOME", savedXdg->c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root, ignored);
    }

    fs::path root;
    std::optional<std::string> savedXdg;
};

TEST_F(SystemFoldersTest, UsesAWritableContainerFolderOnly) {
    const fs::path container = root / "shared";
    EXPECT_EQ(systemFolders(container).container, std::nullopt);  // missing

    std::ofstream(container.string()) << "not a folder";
    EXPECT_EQ(systemFolders(container).container, std::nullopt);
    fs::remove(container);

    fs::create_directory(container);
    EXPECT_EQ(systemFolders(container).container, container);
}

TEST_F(SystemFoldersTest, IgnoresAContainerThisProcessMayNotWrite) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder; run as a user";
    const fs::path container = root / "shared";
    fs::create_directory(container);
    fs::permissions(container, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(systemFolders(container).container, std::nullopt);
}

TEST_F(SystemFoldersTest, ReadsTheUserDataFolderOnEveryUse) {
    ::setenv("XDG_DATA_HOME", (root / "one").c_str(), 1);
    EXPECT_EQ(profileURL(systemFolders(root / "missing")), root / "one/Corvane/profile.json");
    ::setenv("XDG_DATA_HOME", (root / "two").c_str(), 1);
    EXPECT_EQ(profileURL(systemFolders(root / "missing")), root / "two/Corvane/profile.json");
}

}  // namespace
}  // namespace corvane::SharedConstants
