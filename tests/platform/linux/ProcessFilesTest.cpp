#include "platform/linux/ProcessFiles.hpp"

#include "TemporaryDirectory.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

// What readSmallFile gives for `path`, or "blocked" when it has not come back
// within a second; then the FIFO is opened for writing to let it go.
std::optional<std::string> readWithin(const fs::path& path, const fs::path& fifo) {
    auto reading = std::async(std::launch::async, [path] { return procfs::readSmallFile(path.string()); });
    if (reading.wait_for(std::chrono::seconds(1)) == std::future_status::ready) return reading.get();
    while (reading.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) ::close(writer);
    }
    return "blocked";
}

// A file a process controls (under its root) may be anything: only a small
// regular file is read, the last component is never followed, and nothing
// waits for a writer.
TEST(ProcessFiles, ReadsOnlySmallRegularFilesAndNeverWaits) {
    testing::TemporaryDirectory temporary;
    const fs::path folder = temporary.path();
    std::ofstream(folder / "info") << "[Application]\nname=org.example.App\n";
    std::ofstream(folder / "limit") << std::string(65536, 'x');
    std::ofstream(folder / "large") << std::string(65537, 'x');
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    fs::create_symlink(folder / "info", folder / "link-to-info");
    fs::create_symlink(folder / "fifo", folder / "link-to-fifo");
    fs::create_symlink("/dev/zero", folder / "link-to-device");
    fs::create_directory(folder / "folder");
    struct Case {
        const char* name;
        std::optional<std::string> content;
    };
    const Case cases[] = {
        {"info", "[Application]\nname=org.example.App\n"},
        {"limit", std::string(65536, 'x')},
        {"large", std::nullopt},
        {"fifo", std::nullopt},
        {"link-to-info", std::nullopt},
        {"link-to-fifo", std::nullopt},
        {"link-to-device", std::nullopt},
        {"folder", std::nullopt},
        {"missing", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(readWithin(folder / c.name, folder / "fifo"), c.content) << c.name;
    EXPECT_EQ(procfs::readSmallFile("/dev/zero"), std::nullopt);
    EXPECT_TRUE(procfs::readSmallFile("/proc/self/status")) << "kernel-made files report no size and are read";
}

}  // namespace
}  // namespace corvane::platform
