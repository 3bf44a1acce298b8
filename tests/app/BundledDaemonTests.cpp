#include <fstream>

#include <gtest/gtest.h>

#include "Model/BundledDaemon.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;

TEST(BundledDaemon, IsFoundInTheInstalledTreeElseInTheBuildTree) {
    platform::testing::TemporaryDirectory folder;
    const fs::path prefix = folder.path() / "usr";
    fs::create_directories(prefix / "bin");
    const BundledDaemon building = BundledDaemon::locate(prefix / "bin");
    EXPECT_EQ(building.daemon, prefix / "Tunnel" / "corvane-tunnel");
    EXPECT_EQ(building.buildFile, prefix / "Tunnel" / "corvane-tunnel.build");
    EXPECT_EQ(building.helper, prefix / "bin" / "Service" / "corvane-service");

    fs::create_directories(prefix / "libexec" / "corvane");
    std::ofstream(prefix / "libexec" / "corvane" / "corvane-tunnel") << "daemon";
    const BundledDaemon installed = BundledDaemon::locate(prefix / "bin");
    EXPECT_EQ(installed.daemon, prefix / "libexec" / "corvane" / "corvane-tunnel");
    EXPECT_EQ(installed.buildFile, prefix / "libexec" / "corvane" / "corvane-tunnel.build");
    EXPECT_EQ(installed.helper, prefix / "libexec" / "corvane" / "corvane-service");
}

TEST(BundledDaemon, TheBuildIsTheFilesOneLineOfText) {
    platform::testing::TemporaryDirectory folder;
    const BundledDaemon bundle{folder.path() / "corvane-tunnel", folder.path() / "corvane-tunnel.build", {}};
    EXPECT_EQ(bundle.build(), std::nullopt) << "missing file";
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"13\n", "13"},
        {"13", "13"},
        {"1.2-rc1", "1.2-rc1"},
        {"", std::nullopt},
        {"\n", std::nullopt},
        {"12\n13\n", std::nullopt},
        {"13\r\n", std::nullopt},
        {std::string("1\0" "3", 3), std::nullopt},
        {"\xff\xfe", std::nullopt},
        {std::string(300, '1'), std::nullopt},
    };
    for (const auto& [content, build] : cases) {
        std::ofstream(bundle.buildFile, std::ios::binary | std::ios::trunc) << content;
        EXPECT_EQ(bundle.build(), build) << ::testing::PrintToString(content);
    }
}

}  // namespace
}  // namespace corvane::app::testing
