#include "platform/linux/OwnershipWalk.hpp"

#include "TemporaryDirectory.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

// A chain <root>/opt/tool/bin/probe, every part 0755 (the file 0755 too),
// walked from <root> with the test's own uid standing in for root.
class OwnershipWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = temporary_.path();
        ::chmod(root_.c_str(), 0755);
        for (const auto* folder : {"opt", "opt/tool", "opt/tool/bin"}) {
            fs::create_directory(root_ / folder);
            ::chmod((root_ / folder).c_str(), 0755);
        }
        std::ofstream(root_ / "opt/tool/bin/probe") << "#!/bin/sh\n";
        ::chmod((root_ / "opt/tool/bin/probe").c_str(), 0755);
    }

    bool walk(const std::string& path = "/opt/tool/bin/probe") {
        struct stat file {};
        ::stat((root_ / "opt/tool/bin/probe").c_str(), &file);
        const int rootFd = ::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const bool result = OwnershipWalk::passes(rootFd, path, {file.st_dev, file.st_ino}, ::geteuid());
        ::close(rootFd);
        return result;
    }

    bool trustedFolder(const std::string& path = "/opt/tool/bin") {
        const int rootFd = ::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const bool result = OwnershipWalk::isTrustedFolder(rootFd, path, ::geteuid());
        ::close(rootFd);
        return result;
    }

    testing::TemporaryDirectory temporary_;
    fs::path root_;
};

TEST_F(OwnershipWalkTest, PassesAChainNobodyElseCanWrite) { EXPECT_TRUE(walk()); }

TEST_F(OwnershipWalkTest, FailsWhenAnyPartIsWritableByOthers) {
    const std::vector<std::pair<std::string, mode_t>> cases = {
        {"", 0775}, {"", 0757}, {"opt", 0775}, {"opt/tool", 0777}, {"opt/tool/bin", 01777},
        {"opt/tool/bin/probe", 0775}, {"opt/tool/bin/probe", 0757}};
    for (const auto& [part, mode] : cases) {
        const auto target = root_ / part;
        struct stat before {};
        ::stat(target.c_str(), &before);
        ::chmod(target.c_str(), mode);
        EXPECT_FALSE(walk()) << part << " " << std::oct << mode;
        ::chmod(target.c_str(), before.st_mode & 07777);
        EXPECT_TRUE(walk()) << part;
    }
}

TEST_F(OwnershipWalkTest, FailsOnLinksReplacedFilesAndOddPaths) {
    fs::create_symlink("tool", root_ / "opt/link");
    EXPECT_FALSE(walk("/opt/link/bin/probe"));
    EXPECT_FALSE(walk("/opt/tool/bin"));               // a folder, not a file
    EXPECT_FALSE(walk("/opt/tool/bin/missing"));
    EXPECT_FALSE(walk("/opt/tool/../tool/bin/probe"));
    EXPECT_FALSE(walk("opt/tool/bin/probe"));          // not absolute
    EXPECT_FALSE(walk("/opt/tool/bin/probe/x"));
    EXPECT_FALSE(walk("/opt/tool/bin/probe/"));

    // Same name, other file: an upgraded or swapped binary is not the one running.
    struct stat original {};
    ::stat((root_ / "opt/tool/bin/probe").c_str(), &original);
    std::ofstream(root_ / "opt/tool/bin/other") << "x";
    ::chmod((root_ / "opt/tool/bin/other").c_str(), 0755);
    const int rootFd = ::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    EXPECT_FALSE(OwnershipWalk::passes(rootFd, "/opt/tool/bin/other", {original.st_dev, original.st_ino}, ::geteuid()));
    ::close(rootFd);
}

// Finding a file tells whether it is there (no links on the way) apart from
// whether nobody else can write the chain, which is how a file is looked for
// in the daemon's view whatever its trust.
TEST_F(OwnershipWalkTest, FindsAFileInAnUntrustedChainAndNothingThroughALink) {
    struct stat file {};
    ::stat((root_ / "opt/tool/bin/probe").c_str(), &file);
    ::chmod((root_ / "opt/tool").c_str(), 0777);
    fs::create_symlink("tool", root_ / "opt/link");
    const int rootFd = ::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const auto found = OwnershipWalk::find(rootFd, "/opt/tool/bin/probe", ::geteuid());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, (OwnershipWalk::Expected{file.st_dev, file.st_ino}));
    EXPECT_FALSE(found->trusted);
    EXPECT_FALSE(OwnershipWalk::find(rootFd, "/opt/link/bin/probe", ::geteuid()));
    ::close(rootFd);
}

TEST_F(OwnershipWalkTest, FailsWhenAPartBelongsToAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "changing a folder's owner needs root";
    ::chown((root_ / "opt/tool").c_str(), 65534, 65534);
    EXPECT_FALSE(walk());
    EXPECT_FALSE(trustedFolder());
}

// A folder is vouched for by the same walk, ending at the folder: what lies
// inside it has no say, only the folder and every folder above it.
TEST_F(OwnershipWalkTest, TrustsAFolderOnlyWhenNobodyElseCanWriteItsChain) {
    EXPECT_TRUE(trustedFolder());
    EXPECT_TRUE(trustedFolder("/"));
    ::chmod((root_ / "opt/tool/bin/probe").c_str(), 0777);
    EXPECT_TRUE(trustedFolder()) << "a file inside";

    const std::vector<std::pair<std::string, mode_t>> writable = {
        {"", 0775}, {"opt", 0757}, {"opt/tool", 0777}, {"opt/tool/bin", 01777}};
    for (const auto& [part, mode] : writable) {
        ::chmod((root_ / part).c_str(), mode);
        EXPECT_FALSE(trustedFolder()) << part << " " << std::oct << mode;
        ::chmod((root_ / part).c_str(), 0755);
        EXPECT_TRUE(trustedFolder()) << part;
    }

    fs::create_symlink("tool", root_ / "opt/link");
    for (const char* path : {"/opt/tool/bin/probe", "/opt/link", "/opt/link/bin", "/opt/missing", "opt/tool",
                             "/opt/tool/", "/opt//tool", "/opt/./tool", "/opt/tool/../tool"}) {
        EXPECT_FALSE(trustedFolder(path)) << path;
    }
}

TEST(OwnershipWalk, SystemBinariesPassAndTheTemporaryFolderFails) {
    const int rootFd = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat file {};
    ASSERT_EQ(::stat("/usr/bin/env", &file), 0);
    if (file.st_uid != 0) GTEST_SKIP() << "/usr/bin/env is not owned by root here";
    EXPECT_TRUE(OwnershipWalk::passes(rootFd, "/usr/bin/env", {file.st_dev, file.st_ino}));
    testing::TemporaryDirectory temporary;
    struct stat parent {};
    ::stat(temporary.path().parent_path().c_str(), &parent);
    if (!(parent.st_mode & S_IWOTH)) GTEST_SKIP() << "the temporary folder is not world-writable here";
    const auto copy = temporary.path() / "env";
    fs::copy_file("/usr/bin/env", copy);
    ASSERT_EQ(::stat(copy.c_str(), &file), 0);
    EXPECT_FALSE(OwnershipWalk::passes(rootFd, copy.string(), {file.st_dev, file.st_ino}));
    ::close(rootFd);
}

}  // namespace
}  // namespace corvane::platform
