#include "platform/linux/LinuxExecutablePath.hpp"
#include "platform/linux/RealExecutable.hpp"

#include "ChildProcess.hpp"
#include "TemporaryDirectory.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

std::string sleepProgram() { return fs::canonical("/bin/sleep").string(); }

// What the daemon's view finds for a program started with `argv`, once the
// process runs what its own view names `reported`.
std::optional<RealExecutable> realOf(std::vector<std::string> argv, const std::string& reported) {
    testing::ChildProcess child(std::move(argv));
    if (!child.waitUntilRunning(reported)) return std::nullopt;
    PackageIndex packages;
    return RealExecutable::of(child.pid(), packages);
}

fs::path copyOfSleep(const fs::path& folder, const std::string& name) {
    const auto copy = folder / name;
    fs::copy_file(sleepProgram(), copy);
    ::chmod(copy.c_str(), 0755);
    return copy;
}

TEST(RealExecutable, IsTheFileTheProcessRunsWhereTheDaemonFindsIt) {
    testing::TemporaryDirectory temporary;
    const auto copy = copyOfSleep(temporary.path(), "probe");
    struct stat info {};
    ::stat(sleepProgram().c_str(), &info);
    const bool packaged = info.st_uid == 0 && ::access("/var/lib/dpkg/info/coreutils.list", F_OK) == 0;
    const auto bad = copyOfSleep(temporary.path(), "caf\xE9");
    struct Case {
        std::string program;
        RealExecutable expected;
    };
    std::vector<Case> cases = {
        {copy.string(), {copy.string(), "probe", false, false}},
        {bad.string(), {(temporary.path() / "caf\xEF\xBF\xBD").string(), "caf\xEF\xBF\xBD", false, false}},
    };
    if (packaged) cases.push_back({sleepProgram(), {sleepProgram(), "sleep", true, true}});
    for (const Case& c : cases) EXPECT_EQ(realOf({c.program, "5"}, c.program), c.expected) << c.program;
}

// A file deleted (or replaced) since it was started keeps its last path in
// the daemon's own view, and is not valid.
TEST(RealExecutable, ADeletedFileKeepsItsPathButIsNotValid) {
    testing::TemporaryDirectory temporary;
    const auto copy = copyOfSleep(temporary.path(), "gone");
    testing::ChildProcess child({copy.string(), "5"});
    ASSERT_TRUE(child.waitUntilRunning(copy.string()));
    fs::remove(copy);
    PackageIndex packages;
    EXPECT_EQ(RealExecutable::of(child.pid(), packages), (RealExecutable{copy.string(), "gone", false, false}));
    EXPECT_EQ(RealExecutable::of(0, packages), RealExecutable{});
}

// In a user and mount namespace of its own, python bind-mounted over wget
// runs as /usr/bin/wget in its view; the daemon finds python, unverified.
TEST(RealExecutable, ABindMountInAnotherNamespaceDoesNotLendItsPath) {
    const std::string python = "/usr/bin/python3.11";
    if (::access(python.c_str(), X_OK) != 0 || ::access("/usr/bin/wget", F_OK) != 0)
        GTEST_SKIP() << "needs " << python << " and /usr/bin/wget";
    const auto real = realOf({"/usr/bin/unshare", "-Urm", "/bin/sh", "-c",
                              "mount --bind " + python + " /usr/bin/wget && exec /usr/bin/wget -c "
                              "'import time; time.sleep(5)'"},
                             "/usr/bin/wget");
    if (!real) GTEST_SKIP() << "unprivileged user and mount namespaces are not available";
    EXPECT_EQ(*real, (RealExecutable{python, "python3.11", false, false}));
}

// The path lookup hands out the path found, whole up to the longest a Linux
// path can be, or its length when the buffer is too small for it.
TEST(LinuxExecutablePath, GivesThePathTheLookupFoundWhole) {
    testing::TemporaryDirectory temporary;
    fs::path folder = temporary.path();
    while (folder.string().size() + 1 + 200 + 1 + 5 < PATH_MAX - 1) folder /= std::string(200, 'a');
    folder /= std::string(PATH_MAX - 1 - folder.string().size() - 1 - std::string("/probe").size(), 'b');
    fs::create_directories(folder);
    const auto copy = copyOfSleep(folder, "probe");
    ASSERT_EQ(copy.string().size(), static_cast<std::size_t>(PATH_MAX - 1));
    testing::ChildProcess child({copy.string(), "5"});
    ASSERT_TRUE(child.waitUntilRunning(copy.string()));
    const auto identities = std::make_shared<ProcessIdentityCache>();
    const LinuxExecutablePath paths(identities);
    std::string buffer(PATH_MAX, '\0');
    EXPECT_EQ(paths.pidPath(child.pid(), buffer.data(), buffer.size()), 0) << "no path before the lookup";
    identities->identityOf(child.pid());
    ASSERT_EQ(paths.pidPath(child.pid(), buffer.data(), buffer.size()), PATH_MAX - 1);
    EXPECT_EQ(buffer.substr(0, PATH_MAX - 1), copy.string());
    std::string small(1024, '\0');
    EXPECT_EQ(paths.pidPath(child.pid(), small.data(), small.size()), PATH_MAX - 1);
    EXPECT_EQ(small, copy.string().substr(0, 1024));
    EXPECT_EQ(paths.pidPath(0, buffer.data(), buffer.size()), 0);
    EXPECT_EQ(paths.pidPath(-1, buffer.data(), buffer.size()), 0);
}

}  // namespace
}  // namespace corvane::platform
