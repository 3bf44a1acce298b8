#include "platform/linux/LinuxExecutablePath.hpp"

#include "TemporaryDirectory.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

namespace corvane::platform {
namespace {

// A stand-in for /proc whose <pid>/exe links point wherever a case needs.
class ExecutablePathTest : public ::testing::Test {
protected:
    void link(int pid, const std::string& target) {
        const auto folder = temporary_.path() / std::to_string(pid);
        std::filesystem::create_directories(folder);
        ASSERT_EQ(::symlink(target.c_str(), (folder / "exe").c_str()), 0) << target.size();
    }
    std::optional<std::string> lookup(int pid, std::size_t bufferSize = PATH_MAX) {
        LinuxExecutablePath paths(temporary_.path().string());
        std::string buffer(bufferSize, '\0');
        const int length = paths.pidPath(pid, buffer.data(), buffer.size());
        if (length < 1 || static_cast<std::size_t>(length) >= buffer.size()) return std::nullopt;
        return buffer.substr(0, static_cast<std::size_t>(length));
    }
    testing::TemporaryDirectory temporary_;
};

std::string pathOfLength(std::size_t length) {
    std::string path = "/";
    while (path.size() < length) path += std::string(std::min<std::size_t>(200, length - path.size() - 1), 'a') + "/";
    path.back() = 'z';
    return path;
}

TEST_F(ExecutablePathTest, ReturnsLongPathsWhole) {
    for (const std::size_t length : {1023U, 1024U, 1025U, 4095U}) {
        const auto path = pathOfLength(length);
        ASSERT_EQ(path.size(), length);
        link(static_cast<int>(length), path);
        EXPECT_EQ(lookup(static_cast<int>(length)), path) << length;
    }
}

TEST_F(ExecutablePathTest, ReportsAPathThatDoesNotFitAsNotFitting) {
    const auto path = pathOfLength(1500);
    link(7, path);
    LinuxExecutablePath paths(temporary_.path().string());
    std::string buffer(1024, '\0');
    EXPECT_EQ(paths.pidPath(7, buffer.data(), buffer.size()), 1500);
    EXPECT_EQ(buffer, path.substr(0, 1024));
}

TEST_F(ExecutablePathTest, DropsTheDeletedMarkAndRepairsBadBytes) {
    link(10, "/usr/bin/tool (deleted)");
    EXPECT_EQ(lookup(10), "/usr/bin/tool");
    link(11, "/opt/caf\xE9/bin");
    EXPECT_EQ(lookup(11), "/opt/caf\xEF\xBF\xBD/bin");
    link(12, "/usr/bin/tool (deleted) copy");
    EXPECT_EQ(lookup(12), "/usr/bin/tool (deleted) copy");
}

TEST_F(ExecutablePathTest, NoPathForMissingAndInvalidProcesses) {
    EXPECT_EQ(lookup(0), std::nullopt);
    EXPECT_EQ(lookup(-1), std::nullopt);
    EXPECT_EQ(lookup(99), std::nullopt);
}

TEST(LinuxExecutablePath, FindsThisProcess) {
    LinuxExecutablePath paths;
    char buffer[PATH_MAX];
    const int length = paths.pidPath(::getpid(), buffer, sizeof(buffer));
    ASSERT_GT(length, 0);
    char expected[PATH_MAX];
    const ssize_t expectedLength = ::readlink("/proc/self/exe", expected, sizeof(expected));
    EXPECT_EQ(std::string(buffer, length), std::string(expected, expectedLength));
}

}  // namespace
}  // namespace corvane::platform
