// Launch at login as an XDG autostart entry in a temporary configuration folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Model/LoginItem.hpp"
#include "Support/ModelFixture.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

TEST(LoginItemExec, ArgumentsAreQuotedAndEscapedForTheDesktopFile) {
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/bin/corvane", "/usr/bin/corvane"},
        {"/opt/My Apps/corvane", R"("/opt/My Apps/corvane")"},
        {"/opt/100%/corvane", "/opt/100%%/corvane"},
        {"/opt/50% off/corvane", R"("/opt/50%% off/corvane")"},
        {R"(/opt/say "hi"/corvane)", R"("/opt/say \\"hi\\"/corvane")"},
        {"/opt/$HOME/corvane", R"("/opt/\\$HOME/corvane")"},
        {"/opt/back`tick", R"("/opt/back\\`tick")"},
        {R"(/opt/back\slash)", R"("/opt/back\\\\slash")"},
        {"/opt/tab\there", R"("/opt/tab\there")"},
        {"/opt/it's", R"("/opt/it's")"},
        {"", R"("")"},
    };
    for (const auto& [argument, expected] : cases) {
        EXPECT_EQ(LoginItem::execArgument(argument), expected) << argument;
    }
}

class LoginItemTest : public ModelFixture {
protected:
    fs::path autostart() const { return folder.path() / "config" / "autostart"; }
    LoginItem item{autostart(), {"/opt/Corvane Tools/bin/corvane"}};
    fs::path entry() const { return autostart() / "org.corvane.Corvane.desktop"; }
};

TEST_F(LoginItemTest, EnablingWritesTheEntryAndDisablingRemovesIt) {
    auto state = startedState();
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(true, *state);
    EXPECT_TRUE(item.isEnabled());
    EXPECT_EQ(contents(entry()),
              "[Desktop Entry]\nType=Application\nName=Corvane\nExec=\"/opt/Corvane Tools/bin/corvane\"\n"
              "Terminal=false\n");
    EXPECT_EQ(fs::status(entry()).permissions() & fs::perms::all, fs::perms(0644));
    item.setEnabled(false, *state);
    EXPECT_FALSE(fs::exists(entry()));
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(false, *state);
    EXPECT_EQ(state->lastError(), std::nullopt) << "removing a missing entry succeeds";
}

TEST_F(LoginItemTest, OnlyAShownDesktopEntryCountsAsEnabled) {
    const std::pair<std::string, bool> cases[] = {
        {"[Desktop Entry]\nExec=corvane\n", true},
        {"[Desktop Entry]\nHidden=true\n", false},
        {"[Desktop Entry]\nHidden = true\n", false},
        {"[Desktop Entry]\nHidden=false\n", true},
        {"[Desktop Entry]\n[Other]\nHidden=true\n", true},
        {"Exec=corvane\n", false},
        {"", false},
    };
    for (const auto& [text, enabled] : cases) {
        write(entry(), text);
        EXPECT_EQ(item.isEnabled(), enabled) << text;
    }
}

TEST_F(LoginItemTest, FailuresGoToTheLastErrorAndSuccessKeepsAnEarlierOne) {
    auto state = startedState();
    // A file where the autostart folder belongs.
    write(autostart(), "not a folder");
    item.setEnabled(true, *state);
    ASSERT_TRUE(state->lastError());
    EXPECT_EQ(*state->lastError(), "Could not enable launch at login: Could not create “" + autostart().string() +
                                       "”: Not a directory.");

    // A folder where the entry belongs, holding a file.
    fs::remove(autostart());
    write(entry() / "inside", "x");
    item.setEnabled(true, *state);
    const std::string writeFailure = "Could not enable launch at login: Could not write “" + entry().string();
    EXPECT_EQ(state->lastError()->rfind(writeFailure, 0), 0u)
        << *state->lastError();
    item.setEnabled(false, *state);
    EXPECT_EQ(state->lastError()->rfind("Could not disable launch at login: Could not remove “", 0), 0u)
        << *state->lastError();

    const std::string earlier = *state->lastError();
    fs::remove_all(entry());
    item.setEnabled(true, *state);
    EXPECT_TRUE(item.isEnabled());
    EXPECT_EQ(state->lastError(), earlier);
}

// A folder nobody may write into: read-only by its mode, or, for root (whom
// modes do not stop), a read-only bind mount of the folder onto itself.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const fs::path& path) : path_(path) {
        fs::create_directories(path_);
        if (::geteuid() != 0) {
            ::chmod(path_.c_str(), 0555);
            ready_ = true;
            return;
        }
        const std::string quoted = "'" + path_.string() + "'";
        mounted_ = std::system(("mount --bind " + quoted + " " + quoted + " 2>/dev/null").c_str()) == 0;
        ready_ = mounted_ && std::system(("mount -o remount,ro,bind " + quoted + " 2>/dev/null").c_str()) == 0;
    }
    ~ReadOnlyFolder() {
        if (mounted_) std::system(("umount '" + path_.string() + "'").c_str());
        ::chmod(path_.c_str(), 0755);
    }
    bool ready() const { return ready_; }

private:
    fs::path path_;
    bool mounted_ = false;
    bool ready_ = false;
};

TEST_F(LoginItemTest, AReadOnlyFolderRefusesTheEntry) {
    auto state = startedState();
    ReadOnlyFolder readOnly(autostart());
    if (!readOnly.ready()) GTEST_SKIP() << "cannot make a read-only folder here (root without mount rights)";
    item.setEnabled(true, *state);
    ASSERT_TRUE(state->lastError());
    const std::string writeFailure = "Could not enable launch at login: Could not write “" + entry().string();
    EXPECT_EQ(state->lastError()->rfind(writeFailure, 0), 0u)
        << *state->lastError();
    EXPECT_FALSE(item.isEnabled());
}

TEST(LoginItemFolder, ComesFromXdgConfigHomeElseHome) {
    EXPECT_EQ(LoginItem::autostartFolder("/x/config", "/home/a"), fs::path("/x/config/autostart"));
    EXPECT_EQ(LoginItem::autostartFolder("relative", "/home/a"), fs::path("/home/a/.config/autostart"));
    EXPECT_EQ(LoginItem::autostartFolder(nullptr, "/home/a"), fs::path("/home/a/.config/autostart"));
    EXPECT_EQ(LoginItem::autostartFolder(nullptr, nullptr), std::nullopt);
}

}  // namespace
}  // namespace corvane::app::testing
