#include "platform/linux/LinuxCodeSigning.hpp"

#include "platform/linux/AuditToken.hpp"

#include "ChildProcess.hpp"
#include "TemporaryDirectory.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    bool guest = false;
    bool valid = false;
    bool platform = false;
};

// The steps the resolver runs, on the program the child executes.
Outcome check(LinuxCodeSigning& signing, std::span<const std::uint8_t, 32> token) {
    Outcome outcome;
    const auto guest = signing.guestWithAuditToken(token);
    if (!guest) return outcome;
    outcome.guest = true;
    const auto code = signing.staticCode(*guest);
    if (!code) return outcome;
    outcome.valid = signing.checkValidity(*code, 6, nullptr);
    const auto anchor = signing.createRequirement("anchor apple");
    outcome.platform = outcome.valid && anchor && signing.checkValidity(*code, 6, anchor.get());
    EXPECT_EQ(signing.signingInformation(*code, 2), nlohmann::json::object());
    return outcome;
}

Outcome checkProgram(const std::string& program) {
    testing::ChildProcess child({program, "5"});
    EXPECT_TRUE(child.waitUntilRunning(program)) << program;
    const auto token = AuditToken::forProcess(child.pid());
    EXPECT_TRUE(token);
    if (!token) return {};
    LinuxCodeSigning signing;
    return check(signing, *token);
}

std::string sleepProgram() { return fs::canonical("/bin/sleep").string(); }

TEST(LinuxCodeSigning, APackagedSystemProgramIsValidAndAPlatformBinary) {
    struct stat info {};
    ::stat(sleepProgram().c_str(), &info);
    if (info.st_uid != 0 || ::stat("/var/lib/dpkg/info/coreutils.list", &info) != 0)
        GTEST_SKIP() << "needs a root-owned, dpkg-installed coreutils";
    const auto outcome = checkProgram(sleepProgram());
    EXPECT_TRUE(outcome.guest);
    EXPECT_TRUE(outcome.valid);
    EXPECT_TRUE(outcome.platform);
}

TEST(LinuxCodeSigning, AProgramUnderTheTemporaryFolderIsUnverified) {
    testing::TemporaryDirectory temporary;
    const auto copy = temporary.path() / "probe";
    fs::copy_file(sleepProgram(), copy);
    ::chmod(copy.c_str(), 0755);
    const auto outcome = checkProgram(copy.string());
    EXPECT_TRUE(outcome.guest);
    EXPECT_FALSE(outcome.valid);
    EXPECT_FALSE(outcome.platform);
}

TEST(LinuxCodeSigning, ARootOwnedCopyIsValidButNoPlatformBinary) {
    if (::geteuid() != 0) GTEST_SKIP() << "a root-owned folder chain needs root";
    char folder[] = "/run/cvd-sign-XXXXXX";
    ASSERT_TRUE(::mkdtemp(folder));
    ::chmod(folder, 0755);
    const auto copy = fs::path(folder) / "probe";
    fs::copy_file(sleepProgram(), copy);
    ::chmod(copy.c_str(), 0755);
    const auto outcome = checkProgram(copy.string());
    fs::remove_all(folder);
    EXPECT_TRUE(outcome.valid);
    EXPECT_FALSE(outcome.platform);
}

TEST(LinuxCodeSigning, ATokenOfAnotherProgramOrRunFindsNoGuest) {
    testing::ChildProcess child({sleepProgram(), "5"});
    ASSERT_TRUE(child.waitUntilRunning(sleepProgram()));
    const auto token = AuditToken::forProcess(child.pid());
    ASSERT_TRUE(token);
    LinuxCodeSigning signing;
    EXPECT_TRUE(signing.guestWithAuditToken(*token));
    for (const auto word : {AuditToken::Word::startTime, AuditToken::Word::executableIdentity}) {
        auto stale = *token;
        AuditToken::setWord(stale, word, AuditToken::word(*token, word) ^ 1);
        EXPECT_FALSE(signing.guestWithAuditToken(stale));
    }
    auto noPid = *token;
    AuditToken::setWord(noPid, AuditToken::Word::pid, 0);
    EXPECT_FALSE(signing.guestWithAuditToken(noPid));
    child.stop(SIGKILL);
    EXPECT_FALSE(signing.guestWithAuditToken(*token));
    EXPECT_FALSE(signing.createRequirement("anchor apple generic"));
}

TEST(LinuxCodeSigning, MapsOnlySystemWideFlatpakInstallations) {
    const auto info = [](const std::string& appPath) {
        return "[Application]\nname=org.example.Viewer\n[Instance]\napp-path=" + appPath + "\n";
    };
    const std::string system = "/var/lib/flatpak/app/org.example.Viewer/x86_64/stable/abc/files";
    EXPECT_EQ(LinuxCodeSigning::flatpakHostPath(info(system), "/app/bin/viewer"), system + "/bin/viewer");
    EXPECT_EQ(LinuxCodeSigning::flatpakHostPath(info(system), "/usr/bin/bash"), "");
    EXPECT_EQ(LinuxCodeSigning::flatpakHostPath(info("/home/u/.local/share/flatpak/app/org.example.Viewer/files"),
                                                "/app/bin/viewer"),
              "");
    EXPECT_EQ(LinuxCodeSigning::flatpakHostPath(info("/var/lib/flatpak/app/org.other.App/files"), "/app/bin/viewer"),
              "");
    EXPECT_EQ(LinuxCodeSigning::flatpakHostPath(info("/var/lib/flatpak/app/org.example.Viewer/../x/files"),
                                                "/app/bin/viewer"),
              "");
}

}  // namespace
}  // namespace corvane::platform
