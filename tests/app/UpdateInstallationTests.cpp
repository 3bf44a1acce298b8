// Installing a signed release archive over a temporary install folder, in this
// process (a folder of the user's).
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "Model/FolderUpdateInstaller.hpp"
#include "Support/EventLoop.hpp"
#include "Support/TestSigningKey.hpp"
#include "Updates/UpdateError.hpp"
#include "Updates/UpdateInstallation.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;
using updates::UpdateInstallation::install;

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every path below `folder`, relative, with its content ("/" for folders).
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> all;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        all[fs::relative(entry.path(), folder).string()] = entry.is_directory() ? "/" : read(entry.path());
    }
    return all;
}

const std::vector<std::pair<std::string, std::string>> kNewRelease{
    {"corvane.release", "org.corvane.Corvane\n"}, {"bin/corvane", "new app"}, {"share/notes", "new"}};

class UpdateInstallationTest : public ::testing::Test {
public:
    platform::testing::TemporaryDirectory root;
    fs::path parent = root.path() / "opt";
    fs::path folder = parent / "Corvane";
    fs::path archive = root.path() / "update.tar.gz";
    TestSigningKey key;

    void SetUp() override {
        for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
                 {"corvane.release", "org.corvane.Corvane\n"}, {"bin/corvane", "old app"}, {"lib/old-only", "old"}}) {
            fs::create_directories((folder / name).parent_path());
            std::ofstream(folder / name) << content;
        }
        ::chmod((folder / "bin/corvane").c_str(), 0755);
        ::chmod(folder.c_str(), 0755);
    }
    std::set<std::string> parentEntries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(parent)) names.insert(entry.path().filename().string());
        return names;
    }
};

TEST_F(UpdateInstallationTest, ASignedReleaseReplacesTheFolderWhole) {
    makeArchive(archive, kNewRelease);
    install(archive, key.signFile(archive), key.publicKey(), folder);
    EXPECT_EQ(snapshot(folder), (std::map<std::string, std::string>{{"corvane.release", "org.corvane.Corvane\n"},
                                                                    {"bin", "/"},
                                                                    {"bin/corvane", "new app"},
                                                                    {"share", "/"},
                                                                    {"share/notes", "new"}}));
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms(0755));
    EXPECT_EQ(::access((folder / "bin/corvane").c_str(), X_OK), 0);
    EXPECT_EQ(parentEntries(), (std::set<std::string>{"Corvane"})) << "nothing left beside it";
}

TEST_F(UpdateInstallationTest, ARefusedOrBrokenArchiveChangesNothing) {
    struct Case {
        const char* name;
        std::function<updates::UpdateSignature::Signature(UpdateInstallationTest&)> prepare;
        const char* error;
    };
    const std::vector<Case> cases{
        {"signed with another key",
         [](UpdateInstallationTest& t) {
             makeArchive(t.archive, kNewRelease);
             return TestSigningKey().signFile(t.archive);
         },
         "The update is not signed with Corvane’s key, so it was refused."},
        {"no release inside",
         [](UpdateInstallationTest& t) {
             makeArchive(t.archive, {{"Corvane-1.1/bin/corvane", "nested"}});
             return t.key.signFile(t.archive);
         },
         "The update archive does not hold a Corvane release."},
        {"not a tar archive",
         [](UpdateInstallationTest& t) {
             std::ofstream(t.archive) << "signed, but not an archive";
             return t.key.signFile(t.archive);
         },
         "Could not unpack the update: "},
        {"folder not from a release",
         [](UpdateInstallationTest& t) {
             fs::remove(t.folder / "corvane.release");
             makeArchive(t.archive, kNewRelease);
             return t.key.signFile(t.archive);
         },
         "was not installed from a Corvane release, so it is not replaced."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto signature = c.prepare(*this);
        const auto before = snapshot(folder);
        try {
            install(archive, signature, key.publicKey(), folder);
            ADD_FAILURE() << "installed";
        } catch (const updates::UpdateError& e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        }
        EXPECT_EQ(snapshot(folder), before);
        EXPECT_EQ(parentEntries(), (std::set<std::string>{"Corvane"}));
        std::ofstream(folder / "corvane.release") << "org.corvane.Corvane\n";
    }
}

// A root-owned folder goes through pkexec and the helper; their refusals read
// as the service installer's do.
TEST_F(UpdateInstallationTest, TheHelpersRefusalsReadAsPkexecMeansThem) {
    const struct {
        int status;
        const char* errorLine;
        const char* failure;
    } cases[] = {
        {126, "Error executing command as another user: Request dismissed",
         "The administrator authorisation was dismissed."},
        {127, "", "Not authorised to install the update."},
        {4, "The install folder “/” is refused.", "The install folder “/” is refused."},
        {4, "", "The root helper stopped with status 4."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        const fs::path pkexec = root.path() / "pkexec";
        std::ofstream(pkexec) << "#!/bin/sh\necho '" << c.errorLine << "' >&2\nexit " << c.status << "\n";
        fs::permissions(pkexec, fs::perms::owner_all);
        RootHelperRunner runner({"/nonexistent/corvane-service", pkexec, false});
        FolderUpdateInstaller installer({"/", key.publicKey()}, runner);
        QObject context;
        std::optional<std::optional<std::string>> result;
        installer.install(archive, QByteArray(64, 1), &context,
                          [&](std::optional<std::string> failure) { result = failure; });
        ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
        EXPECT_EQ(*result, std::optional<std::string>(c.failure));
    }
}

TEST_F(UpdateInstallationTest, TheAppsInstallerReplacesAFolderOfTheUsersHere) {
    // As root, hand the folder to another user so that it is not root-owned
    // and the installer does not go through the root helper.
    if (::geteuid() == 0) {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) ::lchown(entry.path().c_str(), 65534, 65534);
        ::chown(folder.c_str(), 65534, 65534);
    }
    RootHelperRunner runner({"/nonexistent/corvane-service"});
    FolderUpdateInstaller installer({folder, key.publicKey()}, runner);
    EXPECT_EQ(installer.refusal(), std::nullopt);
    EXPECT_EQ(FolderUpdateInstaller::installFolder(folder / "bin/corvane"), folder);
    makeArchive(archive, kNewRelease);
    const auto signature = key.signFile(archive);
    QObject context;
    std::optional<std::optional<std::string>> result;
    installer.install(archive, QByteArray(reinterpret_cast<const char*>(signature.data()), 64), &context,
                      [&](std::optional<std::string> failure) { result = failure; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, std::nullopt);
    EXPECT_EQ(read(folder / "bin/corvane"), "new app");

    fs::remove(folder / "corvane.release");
    ASSERT_TRUE(installer.refusal());
    EXPECT_EQ(installer.refusal()->rfind("This copy of Corvane was not installed from a release archive", 0), 0u);
}

}  // namespace
}  // namespace corvane::app::testing
