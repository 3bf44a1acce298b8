#include "platform/linux/ProcessIdentityCache.hpp"

#include "platform/linux/AuditToken.hpp"

#include "ChildProcess.hpp"
#include "TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace corvane::platform {
namespace {

std::uint32_t word(const ProcessIdentityCache::Identity& identity, AuditToken::Word which) {
    return AuditToken::word(std::span<const std::uint8_t, AuditToken::kSize>(identity.auditToken->data(), AuditToken::kSize),
                            which);
}

// A process asked about again is the same identity; after an execve under the
// same pid it is the new program's, never the remembered one.
TEST(ProcessIdentityCache, AnExecveUnderTheSamePidGivesTheNewProgramsIdentity) {
    // The shell executes sleep once the test has made the file `go`.
    testing::TemporaryDirectory temporary;
    const auto go = temporary.path() / "go";
    testing::ChildProcess child(
        {"/bin/sh", "-c", "while [ ! -e " + go.string() + " ]; do /bin/sleep 0.01; done; exec /bin/sleep 5"});
    ASSERT_TRUE(child.waitUntilRunning("/usr/bin/dash"));
    ProcessIdentityCache cache;
    const auto shell = cache.identityOf(child.pid());
    ASSERT_TRUE(shell.auditToken);
    EXPECT_EQ(shell.executable.signingIdentifier, "dash");
    EXPECT_EQ(word(shell, AuditToken::Word::pid), static_cast<std::uint32_t>(child.pid()));
    const auto again = cache.identityOf(child.pid());
    EXPECT_EQ(again.auditToken, shell.auditToken);
    EXPECT_EQ(again.executable.signingIdentifier, "dash");

    std::ofstream{go};
    ASSERT_TRUE(child.waitUntilRunning("/usr/bin/sleep"));
    const auto replaced = cache.identityOf(child.pid());
    ASSERT_TRUE(replaced.auditToken);
    EXPECT_EQ(replaced.executable.signingIdentifier, "sleep");
    EXPECT_NE(word(replaced, AuditToken::Word::executableIdentity), word(shell, AuditToken::Word::executableIdentity));
    EXPECT_EQ(word(replaced, AuditToken::Word::startTime), word(shell, AuditToken::Word::startTime));
}

TEST(ProcessIdentityCache, AProcessThatIsGoneHasNoToken) {
    testing::ChildProcess child({"/bin/sleep", "5"});
    ASSERT_TRUE(child.waitUntilRunning("/usr/bin/sleep"));
    const pid_t pid = child.pid();
    ProcessIdentityCache cache;
    ASSERT_TRUE(cache.identityOf(pid).auditToken);
    child.stop(SIGKILL);
    const auto gone = cache.identityOf(pid);
    EXPECT_FALSE(gone.auditToken);
    EXPECT_EQ(gone.executable.signingIdentifier, "");
}

}  // namespace
}  // namespace corvane::platform
