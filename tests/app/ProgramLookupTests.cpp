// What the simulator takes a typed program to be: the daemon's view of it, with
// the daemon's own verification (ownership walk, package index).
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "Model/ProgramLookup.hpp"
#include "Support/Profiles.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane {

void PrintTo(const FlowSource& source, std::ostream* out) {
    *out << "{" << source.identifier.value_or("(none)") << ", " << source.path.value_or("(none)") << ", ";
    if (!source.identity) *out << "no identity";
    else if (source.identity->isPlatformBinary) *out << "system binary";
    else *out << (source.identity->isValid ? "valid" : "not valid");
    *out << "}";
}

namespace app::testing {
namespace {

namespace fs = std::filesystem;

const CodeIdentity kSystemBinary{true, std::nullopt, true};
const CodeIdentity kVerified{true, std::nullopt, false};
const CodeIdentity kUnverified = CodeIdentity::unverified;

ConnectionRecord seen(std::string app, std::optional<std::string> path, std::optional<CodeIdentity> identity) {
    ConnectionRecord record = recordOf(std::move(app));
    record.appPath = std::move(path);
    record.appIdentity = identity;
    return record;
}

void copyExecutable(const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file("/usr/bin/env", to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

// Programs in a folder of the test's own under the system's temporary folder,
// where anybody may have planted them.
class ProgramLookupTest : public ::testing::Test {
protected:
    platform::testing::TemporaryDirectory folder;
    const fs::path planted = folder.path() / "bin" / "tool";

    void SetUp() override {
        copyExecutable(planted);
        std::ofstream(folder.path() / "bin" / "notes") << "not a program\n";
    }
    ProgramLookup lookupIn(std::vector<fs::path> searchPath) const {
        return ProgramLookup({std::move(searchPath), folder.path() / "flatpak"});
    }
};

TEST_F(ProgramLookupTest, TakesAProgramAsTheDaemonWouldSeeIt) {
    const ProgramLookup lookup = lookupIn({folder.path() / "bin", "/usr/bin"});
    const std::vector<ConnectionRecord> records = {
        seen("tool", std::nullopt, std::nullopt),  // a UDP record: the daemon verified nothing
        seen("tool", "/opt/vendor/tool", kVerified),
        seen("tool", planted.string(), kUnverified),
        seen("curl", "/usr/bin/curl", kSystemBinary),
    };
    const struct {
        const char* text;
        std::vector<ConnectionRecord> records;
        FlowSource source;
    } cases[] = {
        {"", records, {}},
        {"   ", records, {}},
        {"/usr/bin/env", {}, {"env", "/usr/bin/env", kSystemBinary}},
        {" /bin/env ", {}, {"env", "/usr/bin/env", kSystemBinary}},
        {"/usr/bin/../bin/env", {}, {"env", "/usr/bin/env", kSystemBinary}},
        {planted.c_str(), {}, {"tool", planted.string(), kUnverified}},
        {"/nonexistent/tool", {}, {"tool", "/nonexistent/tool", kUnverified}},
        // A name: the daemon's newest record of a TCP flow of that program...
        {"tool", records, {"tool", "/opt/vendor/tool", kVerified}},
        {"curl", records, {"curl", "/usr/bin/curl", kSystemBinary}},
        // ...else the executable of that name on the search path, the first one...
        {"tool", {}, {"tool", planted.string(), kUnverified}},
        {"env", {}, {"env", "/usr/bin/env", kSystemBinary}},
        // ...but never a file that is not a program, and never a path in disguise...
        {"notes", {}, {"notes", std::nullopt, kUnverified}},
        {"bin/tool", {}, {"bin/tool", std::nullopt, kUnverified}},
        // ...else nobody backs the name: a claim, not verified.
        {"org.example.Unknown", records, {"org.example.Unknown", std::nullopt, kUnverified}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lookup.source(c.text, c.records), c.source) << "“" << c.text << "”";
    }
}

TEST_F(ProgramLookupTest, AFlatpakInstalledWhereAUserCouldWriteIsNotVerified) {
    const fs::path deployment = folder.path() / "flatpak" / "org.example.App" / "current" / "active";
    fs::create_directories(deployment);
    std::ofstream(deployment / "metadata") << "[Application]\nname=org.example.App\n";
    EXPECT_EQ(lookupIn({}).source("org.example.App", {}), (FlowSource{"org.example.App", std::nullopt, kUnverified}));
}

// Only root can own a folder chain that the daemon's walk trusts; it is made
// under /run, which only root may write.
class RootOwnedProgramLookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root: only root can own a folder chain the walk trusts";
        std::string pattern = "/run/cvt-lookup-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!root.empty()) fs::remove_all(root, ignored);
    }
    fs::path root;
};

TEST_F(RootOwnedProgramLookupTest, ARootOwnedProgramIsVerifiedAndOnlyAPackagedOneIsASystemBinary) {
    const fs::path program = root / "bin" / "tool";
    copyExecutable(program);
    // A system-wide Flatpak as flatpak deploys it: "current" and "active" are links.
    const fs::path installation = root / "flatpak" / "org.example.App";
    fs::create_directories(installation / "x86_64" / "stable" / "0123abcd" / "files");
    std::ofstream(installation / "x86_64" / "stable" / "0123abcd" / "metadata") << "[Application]\n";
    fs::create_directory_symlink("x86_64/stable", installation / "current");
    fs::create_directory_symlink("0123abcd", installation / "x86_64" / "stable" / "active");

    const ProgramLookup lookup({{root / "bin"}, root / "flatpak"});
    EXPECT_EQ(lookup.source(program.string(), {}), (FlowSource{"tool", program.string(), kVerified}));
    EXPECT_EQ(lookup.source("tool", {}), (FlowSource{"tool", program.string(), kVerified}));
    EXPECT_EQ(lookup.source("org.example.App", {}), (FlowSource{"org.example.App", std::nullopt, kVerified}));

    ::chmod(program.c_str(), 0777);
    EXPECT_EQ(lookup.source("tool", {}), (FlowSource{"tool", program.string(), kUnverified}))
        << "a program anybody may rewrite is not verified";
}

}  // namespace
}  // namespace app::testing
}  // namespace corvane
