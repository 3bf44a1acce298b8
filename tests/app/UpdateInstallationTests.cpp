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
#include "Support/TestArchive.hpp"
#include "Support/TestSigningKey.hpp"
#include "Updates/UpdateError.hpp"
#include "Updates/UpdateInstallation.hpp"
#include "Updates/UpdateSignature.hpp"
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

// The installed release is build 5; the update is build 6.
ReleaseFiles newRelease() {
    ReleaseFiles files = releaseFiles("new app", "6");
    files.push_back({"share/notes", "new"});
    return files;
}

class UpdateInstallationTest : public ::testing::Test {
public:
    platform::testing::TemporaryDirectory root;
    fs::path parent = root.path() / "opt";
    fs::path folder = parent / "Corvane";
    fs::path archive = root.path() / "update.tar.gz";
    TestSigningKey key;

    void SetUp() override {
        ReleaseFiles old = releaseFiles("old app", "5");
        old.push_back({"lib/old-only", "old"});
        for (const auto& [name, content] : old) {
            fs::create_directories((folder / name).parent_path());
            std::ofstream(folder / name) << content;
        }
        ::chmod((folder / "bin/corvane").c_str(), 0755);
        ::chmod(folder.c_str(), 0755);
    }
    updates::UpdateInstallation::Release signedAs(const std::string& build, const TestSigningKey& by) const {
        return {"1." + build, build, by.signRelease(archive, "1." + build, build)};
    }
    updates::UpdateInstallation::Release signedAs(const std::string& build) const { return signedAs(build, key); }
    std::set<std::string> parentEntries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(parent)) names.insert(entry.path().filename().string());
        return names;
    }
    // The installation's refusal; empty when it installed.
    std::string refusal(const updates::UpdateInstallation::Release& release) {
        try {
            install(archive, release, key.publicKey(), folder);
        } catch (const updates::UpdateError& e) {
            return e.what();
        }
        return {};
    }
};

// A build configured with a key that is none could verify no update at all.
TEST(ReleaseKeyTest, TheBuildCarriesAReleaseKey) { EXPECT_TRUE(updates::UpdateSignature::releaseKey()); }

TEST_F(UpdateInstallationTest, ASignedNewerReleaseReplacesTheFolderWhole) {
    makeArchive(archive, newRelease());
    EXPECT_EQ(refusal(signedAs("6")), "");
    EXPECT_EQ(snapshot(folder), (std::map<std::string, std::string>{{"corvane.release", "org.corvane.Corvane\n"},
                                                                    {"bin", "/"},
                                                                    {"bin/corvane", "new app"},
                                                                    {"libexec", "/"},
                                                                    {"libexec/corvane", "/"},
                                                                    {"libexec/corvane/corvane-tunnel.build", "6\n"},
                                                                    {"share", "/"},
                                                                    {"share/notes", "new"}}));
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms(0755));
    EXPECT_EQ(fs::status(folder / "bin/corvane").permissions() & fs::perms::all, fs::perms(0755));
    EXPECT_EQ(fs::status(folder / "share/notes").permissions() & fs::perms::all, fs::perms(0644));
    EXPECT_EQ(parentEntries(), (std::set<std::string>{"Corvane"})) << "nothing left beside it";
}

// The signature binds version and build to the archive, and the installed
// build is read from the folder: an older release, or a feed that relabels
// one, is refused however it is signed.
TEST_F(UpdateInstallationTest, ARefusedOrBrokenReleaseChangesNothing) {
    struct Case {
        const char* name;
        std::function<updates::UpdateInstallation::Release(UpdateInstallationTest&)> prepare;
        const char* error;
    };
    const char* notSigned = "The update is not signed with Corvane’s key, so it was refused.";
    const std::vector<Case> cases{
        {"signed with another key",
         [](UpdateInstallationTest& t) {
             makeArchive(t.archive, newRelease());
             return t.signedAs("6", TestSigningKey());
         },
         notSigned},
        {"the archive's bytes alone signed",
         [](UpdateInstallationTest& t) {
             makeArchive(t.archive, newRelease());
             std::ifstream in(t.archive, std::ios::binary);
             const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
             return updates::UpdateInstallation::Release{"1.6", "6", t.key.sign(bytes)};
         },
         notSigned},
        {"an older release relabelled as newer",
         [](UpdateInstallationTest& t) {
             makeArchive(t.archive, releaseFiles("older app", "4"));
             const auto older = t.signedAs("4");
             return updates::UpdateInstallation::Release{older.version, "6", older.signature};
         },
         notSigned},
        {"an older release, properly signed",
         [](UpdateInstallationTest& t) {
             makeArchive(t.archive, releaseFiles("older app", "4"));
             return t.signedAs("4");
         },
         "The update's build 4 is not newer than the installed build 5, so it was refused."},
        {"the installed release again",
         [](UpdateInstallationTest& t) {
             makeArchive(t.archive, releaseFiles("old app", "5"));
             return t.signedAs("5");
         },
         "The update's build 5 is not newer than the installed build 5, so it was refused."},
        {"no release inside",
         [](UpdateInstallationTest& t) {
             makeArchive(t.archive, {{"Corvane-1.6/bin/corvane", "nested"}});
             return t.signedAs("6");
         },
         "The update archive does not hold a Corvane release."},
        {"not a tar archive",
         [](UpdateInstallationTest& t) {
             std::ofstream(t.archive) << std::string(2048, 'x');
             return t.signedAs("6");
         },
         "Could not unpack the update: "},
        {"folder not from a release",
         [](UpdateInstallationTest& t) {
             fs::remove(t.folder / "corvane.release");
             makeArchive(t.archive, newRelease());
             return t.signedAs("6");
         },
         "was not installed from a Corvane release, so it is not replaced."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto release = c.prepare(*this);
        const auto before = snapshot(folder);
        EXPECT_NE(refusal(release).find(c.error), std::string::npos) << refusal(release);
        EXPECT_EQ(snapshot(folder), before);
        EXPECT_EQ(parentEntries(), (std::set<std::string>{"Corvane"}));
        std::ofstream(folder / "corvane.release") << "org.corvane.Corvane\n";
    }
}

// Whatever the archive asks for, nothing lands outside the new folder and
// nothing in it keeps a special mode: such an archive is refused whole.
TEST_F(UpdateInstallationTest, AnArchiveWithEntriesBeyondFilesFoldersAndInsideLinksIsRefused) {
    std::vector<TarEntry> release;
    for (const auto& [name, content] : releaseFiles("new app", "6")) {
        release.push_back({name, '0', content, name.starts_with("bin/") ? 0755u : 0644u, {}});
    }
    const struct {
        const char* name;
        TarEntry entry;
        const char* error;
    } cases[] = {
        {"a character device", {"dev/null", '3', {}, 0666, {}}, "“dev/null” is not a file, a folder or a link"},
        {"a fifo", {"pipe", '6', {}, 0644, {}}, "“pipe” is not a file, a folder or a link"},
        {"a name above the folder", {"../escaped", '0', "x", 0644, {}}, "“../escaped” leads out of the update"},
        {"an absolute name", {"/tmp/escaped", '0', "x", 0644, {}}, "does not name a place inside the update"},
        {"an absolute link", {"etc", '2', {}, 0777, "/etc"}, "“etc” links to a place outside the update"},
        {"a link that leads out", {"up", '2', {}, 0777, "../.."}, "“up” is a link that leads outside the update"},
        {"a hard link to a file outside", {"shadow", '1', {}, 0644, "/etc/shadow"},
         "“shadow” is a hard link to something that is not a file of the update"},
        {"a name that comes twice", {"bin/corvane", '0', "again", 0755, {}}, "“bin/corvane” comes twice"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TarEntry> entries = release;
        entries.push_back(c.entry);
        writeArchive(archive, entries);
        const auto before = snapshot(folder);
        const std::string error = refusal(signedAs("6"));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(snapshot(folder), before);
        EXPECT_EQ(parentEntries(), (std::set<std::string>{"Corvane"}));
        EXPECT_FALSE(fs::exists(root.path() / "escaped"));
    }

    // A file written through a link to a folder outside: the link may be
    // there, but nothing passes through it.
    std::vector<TarEntry> through = release;
    through.push_back({"out", '2', {}, 0777, "../.."});
    through.push_back({"out/planted", '0', "x", 0644, {}});
    writeArchive(archive, through);
    const std::string error = refusal(signedAs("6"));
    EXPECT_NE(error.find("“out/planted” passes through a link or a file"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(root.path() / "planted"));
    EXPECT_FALSE(fs::exists(parent / "planted"));
}

// Special modes are dropped, not kept: a setuid or world-writable entry in a
// signed release unpacks as an ordinary file of the one who installs.
TEST_F(UpdateInstallationTest, ModesAreTheInstallersOwnWhateverTheArchiveSays) {
    std::vector<TarEntry> entries;
    for (const auto& [name, content] : releaseFiles("new app", "6")) {
        entries.push_back({name, '0', content, name.starts_with("bin/") ? 04777u : 0666u, {}});
    }
    entries.push_back({"share", '5', {}, 01777, {}});
    entries.push_back({"share/corvane", '2', {}, 0777, "../bin/corvane"});
    writeArchive(archive, entries);
    EXPECT_EQ(refusal(signedAs("6")), "");
    const auto mode = [&](const char* name) {
        struct stat info {};
        ::lstat((folder / name).c_str(), &info);
        return info.st_mode & 07777;
    };
    EXPECT_EQ(mode("bin/corvane"), 0755u);
    EXPECT_EQ(mode("corvane.release"), 0644u);
    EXPECT_EQ(mode("share"), 0755u);
    EXPECT_EQ(read(folder / "share/corvane"), "new app") << "a link that stays inside is kept";
    struct stat info {};
    ::stat((folder / "bin/corvane").c_str(), &info);
    EXPECT_EQ(info.st_uid, ::geteuid());
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
        installer.install(archive, UpdateRelease{"1.6", "6", {}, {}, 0, QByteArray(64, 1)}, &context,
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
    makeArchive(archive, newRelease());
    const auto signature = key.signRelease(archive, "1.6", "6");
    QObject context;
    std::optional<std::optional<std::string>> result;
    installer.install(archive,
                      UpdateRelease{"1.6", "6", {}, {}, 0, QByteArray(reinterpret_cast<const char*>(signature.data()), 64)},
                      &context, [&](std::optional<std::string> failure) { result = failure; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, std::nullopt);
    EXPECT_EQ(read(folder / "bin/corvane"), "new app");

    fs::remove(folder / "corvane.release");
    ASSERT_TRUE(installer.refusal());
    EXPECT_EQ(installer.refusal()->rfind("This copy of Corvane was not installed from a release archive", 0), 0u);
}

}  // namespace
}  // namespace corvane::app::testing
