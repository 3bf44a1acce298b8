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
    const auto identities = std::make_shared<ProcessIdentityCache>();
    const auto token = identities->identityOf(child.pid()).auditToken;
    EXPECT_TRUE(token);
    if (!token) return {};
    LinuxCodeSigning signing(identities);
    return check(signing, std::span<const std::uint8_t, 32>(token->data(), 32));
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

// Only the token the lookup made for a process has a guest: one naming
// another run or another program, no process at all, or a process never
// looked up has none. Nothing is read from the process on the way.
TEST(LinuxCodeSigning, OnlyTheTokenTheLookupMadeFindsAGuest) {
    testing::ChildProcess child({sleepProgram(), "5"});
    ASSERT_TRUE(child.waitUntilRunning(sleepProgram()));
    const auto identities = std::make_shared<ProcessIdentityCache>();
    LinuxCodeSigning signing(identities);
    const auto unasked = AuditToken::forProcess(child.pid());
    ASSERT_TRUE(unasked);
    EXPECT_FALSE(signing.guestWithAuditToken(*unasked));
    const auto made = identities->identityOf(child.pid()).auditToken;
    ASSERT_TRUE(made);
    AuditToken::Bytes token{};
    std::copy(made->begin(), made->end(), token.begin());
    EXPECT_TRUE(signing.guestWithAuditToken(token));
    for (const auto word : {AuditToken::Word::startTime, AuditToken::Word::executableIdentity, AuditToken::Word::pid}) {
        auto stale = token;
        AuditToken::setWord(stale, word, AuditToken::word(token, word) ^ 1);
        EXPECT_FALSE(signing.guestWithAuditToken(stale));
    }
    auto noPid = token;
    AuditToken::setWord(noPid, AuditToken::Word::pid, 0);
    EXPECT_FALSE(signing.guestWithAuditToken(noPid));
    EXPECT_FALSE(signing.createRequirement("anchor apple generic"));
}

}  // namespace
}  // namespace corvane::platform
