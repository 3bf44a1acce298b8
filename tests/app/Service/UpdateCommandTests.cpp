// The helper's update command, as root, on an install folder that belongs to
// root in a folder chain nobody else may write.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "Service/ServiceError.hpp"
#include "Service/UpdateCommand.hpp"
#include "Support/TestArchive.hpp"
#include "Support/TestSigningKey.hpp"
#include "Updates/UpdateSignature.hpp"
#include "platform/linux/OwnershipWalk.hpp"

namespace corvane::service {
namespace {

namespace fs = std::filesystem;
using app::testing::makeArchive;
using app::testing::releaseFiles;
using app::testing::TarEntry;
using app::testing::writeArchive;
using app::testing::TestSigningKey;

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string base64(const updates::UpdateSignature::Signature& signature) {
    std::string out(4 * ((signature.size() + 2) / 3) + 1, '\0');
    out.resize(static_cast<std::size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), signature.data(), int(signature.size()))));
    return out;
}

class UpdateCommandTest : public ::testing::Test {
protected:
    fs::path base;
    fs::path folder;
    fs::path archive;
    TestSigningKey key;

    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "the helper's update command needs root";
        // A folder under /run: root's, and so is every folder above it.
        std::string pattern = "/run/corvane-update-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) GTEST_SKIP() << "cannot make a folder under /run";
        base = pattern;
        ::chmod(base.c_str(), 0755);
        folder = base / "Corvane";
        for (const auto& [name, content] : releaseFiles("old app", "5")) {
            fs::create_directories((folder / name).parent_path());
            std::ofstream(folder / name) << content;
        }
        ::chmod((folder / "bin/corvane").c_str(), 0755);
        ::chmod(folder.c_str(), 0755);
        archive = fs::temp_directory_path() / ("corvane-update-test-" + std::to_string(::getpid()) + ".tar.gz");
        makeArchive(archive, releaseFiles("new app", "6"));
    }
    void TearDown() override {
        std::error_code ignored;
        if (!base.empty()) fs::remove_all(base, ignored);
        if (!archive.empty()) fs::remove(archive, ignored);
    }
    std::string signature(const std::string& build = "6") const {
        return base64(key.signRelease(archive, "1." + build, build));
    }
    std::string failure(const fs::path& from, const std::string& signature, const fs::path& into,
                        const std::string& build = "6") {
        try {
            UpdateCommand::run({from, "1." + build, build, signature, into}, key.publicKey());
        } catch (const ServiceError& e) {
            return e.what();
        }
        return {};
    }
};

TEST_F(UpdateCommandTest, InstallsASignedArchiveIntoARootFolder) {
    EXPECT_EQ(failure(archive, signature(), folder), "");
    EXPECT_EQ(read(folder / "bin/corvane"), "new app");
    struct stat info {};
    ASSERT_EQ(::stat((folder / "bin/corvane").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u) << "the user's files become root's";
    EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 1) << "nothing left beside it";
}

TEST_F(UpdateCommandTest, RefusesWhatTheAppCouldNotVouchFor) {
    const fs::path link = base / "link.tar.gz";
    fs::create_symlink(archive, link);
    const fs::path open = base / "open";
    fs::create_directories(open / "Corvane");
    ::chmod(open.c_str(), 0777);
    const std::string good = signature();
    const struct {
        const char* name;
        fs::path from;
        std::string signature;
        fs::path into;
        std::string error;
    } cases[] = {
        {"another key", archive, base64(TestSigningKey().signRelease(archive, "1.6", "6")), folder,
         "The update is not signed with Corvane’s key, so it was refused."},
        {"a signature that is no signature", archive, "c2hvcnQ=", folder,
         "The update signature is not valid base64 of 64 bytes."},
        {"a link for the archive", link, good, folder, "The update archive “" + link.string() + "” cannot be read."},
        {"a folder others may write above", archive, good, open / "Corvane",
         "The install folder “" + (open / "Corvane").string() +
             "” is refused: it and every folder above it must belong to root and be writable by nobody else."},
        {"a folder named with a trailing slash", archive, good, folder.string() + "/",
         "The install folder “" + folder.string() +
             "/” is refused: it and every folder above it must belong to root and be writable by nobody else."},
        {"a relative folder", archive, good, "Corvane",
         "The install folder “Corvane” is refused: it and every folder above it must belong to root and be "
         "writable by nobody else."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(failure(c.from, c.signature, c.into), c.error);
        EXPECT_EQ(read(folder / "bin/corvane"), "old app");
    }
}

// As root, the release cannot go back in time, plant a device node, or leave a
// setuid or writable file in the root-owned folder.
TEST_F(UpdateCommandTest, AReleaseThatIsOlderOrPlantsSpecialFilesIsRefusedOrDefused) {
    makeArchive(archive, releaseFiles("older app", "4"));
    EXPECT_EQ(failure(archive, signature("4"), folder, "4"),
              "The update's build 4 is not newer than the installed build 5, so it was refused.");
    EXPECT_EQ(failure(archive, signature("4"), folder, "6"),
              "The update is not signed with Corvane’s key, so it was refused.")
        << "an older release relabelled";

    std::vector<TarEntry> entries{{"corvane.release", '0', "org.corvane.Corvane\n", 0666, {}},
                                  {"bin/corvane", '0', "new app", 04755, {}},
                                  {"libexec/corvane/corvane-tunnel.build", '0', "6\n", 0644, {}}};
    entries.push_back({"dev/kmem", '3', {}, 0666, {}});
    writeArchive(archive, entries);
    EXPECT_EQ(failure(archive, signature(), folder),
              "The update was refused: its entry “dev/kmem” is not a file, a folder or a link.");
    EXPECT_EQ(read(folder / "bin/corvane"), "old app");

    entries.pop_back();
    writeArchive(archive, entries);
    EXPECT_EQ(failure(archive, signature(), folder), "");
    EXPECT_EQ(read(folder / "bin/corvane"), "new app");
    struct stat info {};
    ASSERT_EQ(::stat((folder / "bin/corvane").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u) << "no setuid bit";
    ASSERT_EQ(::stat((folder / "corvane.release").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u) << "not writable by others";
    EXPECT_EQ(info.st_uid, 0u);
}

}  // namespace
}  // namespace corvane::service
