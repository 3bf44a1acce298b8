#include "platform/linux/MountTable.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

namespace corvane::platform {
namespace {

// A process's view: the root file system, python bind-mounted over wget, a
// Flatpak application's files at /app, a folder name with a space, and a bind
// mount of a file deleted since.
const char* const kTheirs =
    "21 1 0:30 / / rw,relatime - overlay overlay rw\n"
    "40 21 0:30 /usr/bin/python3.11 /usr/bin/wget rw,relatime - overlay overlay rw\n"
    "41 21 0:30 /var/lib/flatpak/app/org.example.Viewer/x86_64/stable/abc/files /app ro - overlay overlay ro\n"
    "42 21 8:2 /u /home/with\\040space rw shared:1 - ext4 /dev/sda2 rw\n"
    "43 21 8:2 /u/old//deleted /usr/bin/old rw - ext4 /dev/sda2 rw\n"
    "short line\n";

// The daemon's view: the same root, /home on its own file system, and the
// root file system shown a second time further down.
const char* const kOurs =
    "21 1 0:30 / / rw,relatime - overlay overlay rw\n"
    "30 21 8:2 / /home rw - ext4 /dev/sda2 rw\n"
    "31 21 0:30 /var /srv/var rw - overlay overlay rw\n";

TEST(MountTable, PlacesAPathOnTheMountDeepestAlongIt) {
    const auto theirs = MountTable::parse(kTheirs);
    ASSERT_EQ(theirs.mounts().size(), 4U);
    struct Case {
        const char* path;
        std::optional<MountTable::Place> place;
    };
    const Case cases[] = {
        {"/usr/bin/wget", MountTable::Place{"0:30", "/usr/bin/python3.11"}},
        {"/usr/bin/wgetx", MountTable::Place{"0:30", "/usr/bin/wgetx"}},
        {"/app/bin/viewer",
         MountTable::Place{"0:30", "/var/lib/flatpak/app/org.example.Viewer/x86_64/stable/abc/files/bin/viewer"}},
        {"/home/with space/wget", MountTable::Place{"8:2", "/u/wget"}},
        {"/usr/bin/old", MountTable::Place{"0:30", "/usr/bin/old"}},
        {"relative", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(theirs.placeOf(c.path), c.place) << c.path;
}

TEST(MountTable, FindsEveryPathThatShowsAPlace) {
    const auto ours = MountTable::parse(kOurs);
    EXPECT_EQ(ours.pathsOf({"0:30", "/usr/bin/python3.11"}), std::vector<std::string>{"/usr/bin/python3.11"});
    EXPECT_EQ(ours.pathsOf({"0:30", "/var/lib/x"}), (std::vector<std::string>{"/srv/var/lib/x", "/var/lib/x"}));
    EXPECT_EQ(ours.pathsOf({"8:2", "/u/wget"}), std::vector<std::string>{"/home/u/wget"});
    EXPECT_EQ(ours.pathsOf({"8:9", "/u/wget"}), std::vector<std::string>{});
}

TEST(MountTable, ReadsTheTableOfARunningProcess) {
    const auto own = MountTable::ofProcess(static_cast<int>(::getpid()));
    ASSERT_TRUE(own);
    const auto place = own->placeOf("/proc/self");
    ASSERT_TRUE(place);
    EXPECT_FALSE(own->pathsOf(*place).empty());
    EXPECT_FALSE(MountTable::ofProcess(0x3FFFFFFF));
}

}  // namespace
}  // namespace corvane::platform
