#include "platform/linux/PackageIndex.hpp"

#include "TemporaryDirectory.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <fcntl.h>

namespace corvane::platform {
namespace {

TEST(PackageIndex, MergedUsrAliasDropsTheUsrPrefixOfMergedFolders) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/usr/bin/ls", "/bin/ls"},
        {"/usr/sbin/ip", "/sbin/ip"},
        {"/usr/lib/x86_64-linux-gnu/libc.so.6", "/lib/x86_64-linux-gnu/libc.so.6"},
        {"/usr/lib64/ld-linux-x86-64.so.2", "/lib64/ld-linux-x86-64.so.2"},
        {"/usr/share/doc/x", ""},
        {"/usr/local/bin/tool", ""},
        {"/usr/bin/", ""},
        {"/bin/ls", ""},
        {"/opt/usr/bin/ls", ""},
    };
    for (const auto& [path, alias] : cases) EXPECT_EQ(PackageIndex::mergedUsrAlias(path), alias) << path;
}

class PackageIndexTest : public ::testing::Test {
protected:
    void write(const std::string& name, const std::string& content) {
        std::ofstream(temporary_.path() / name) << content;
    }
    testing::TemporaryDirectory temporary_;
};

TEST_F(PackageIndexTest, FindsListedFilesAndTheirMergedUsrForms) {
    write("coreutils.list", "/.\n/bin\n/bin/ls\n/usr/bin/env\n");
    write("iproute2.list", "/sbin/ip\n/usr/share/doc/iproute2\n");
    write("coreutils.md5sums", "0123 /usr/bin/md5only\n");
    PackageIndex index(temporary_.path().string());
    EXPECT_TRUE(index.containsFile("/usr/bin/ls"));  // the kernel's view of the listed /bin/ls
    EXPECT_TRUE(index.containsFile("/bin/ls"));
    EXPECT_TRUE(index.containsFile("/usr/bin/env"));
    EXPECT_TRUE(index.containsFile("/usr/sbin/ip"));
    EXPECT_FALSE(index.containsFile("/usr/bin/md5only"));  // not a .list file
    EXPECT_FALSE(index.containsFile("/bin/env"));          // the alias only goes one way
    EXPECT_FALSE(index.containsFile("/usr/bin/l"));
    EXPECT_FALSE(index.containsFile("/usr/local/bin/ls"));
}

TEST_F(PackageIndexTest, RebuildsWhenTheDatabaseChangesAndIsEmptyWithoutOne) {
    write("a.list", "/usr/bin/first\n");
    PackageIndex index(temporary_.path().string());
    EXPECT_TRUE(index.containsFile("/usr/bin/first"));
    EXPECT_FALSE(index.containsFile("/usr/bin/second"));
    // dpkg adds new .list files, which changes the folder's modification time.
    timespec later[2] = {{0, UTIME_OMIT}, {0, 0}};
    write("b.list", "/usr/bin/second\n");
    struct stat info {};
    ::stat(temporary_.path().c_str(), &info);
    later[1] = {info.st_mtim.tv_sec + 1, info.st_mtim.tv_nsec};
    ::utimensat(AT_FDCWD, temporary_.path().c_str(), later, 0);
    EXPECT_TRUE(index.containsFile("/usr/bin/second"));

    PackageIndex missing((temporary_.path() / "none").string());
    EXPECT_FALSE(missing.containsFile("/usr/bin/first"));
}

TEST(PackageIndex, KnowsThisMachinesShell) {
    PackageIndex index;
    struct stat info {};
    if (::stat("/var/lib/dpkg/info/bash.list", &info) != 0) GTEST_SKIP() << "no dpkg database for bash here";
    EXPECT_TRUE(index.containsFile("/usr/bin/bash"));
}

}  // namespace
}  // namespace corvane::platform
