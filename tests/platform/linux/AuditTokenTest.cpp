#include "platform/linux/AuditToken.hpp"
#include "platform/linux/ProcessFiles.hpp"
#include "platform/linux/ProcessStatus.hpp"

#include <gtest/gtest.h>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::platform {
namespace {

TEST(AuditToken, HoldsCredentialsPidExecutableAndStartTimeInTheirWords) {
    const auto token = AuditToken::forProcess(::getpid());
    ASSERT_TRUE(token);
    EXPECT_EQ(token->size(), 32U);
    using W = AuditToken::Word;
    EXPECT_EQ(AuditToken::word(*token, W::pid), static_cast<std::uint32_t>(::getpid()));
    // The pid sits in bytes 20 to 23 in host order, where the resolver reads it.
    std::uint32_t pid = 0;
    std::memcpy(&pid, token->data() + 20, 4);
    EXPECT_EQ(pid, static_cast<std::uint32_t>(::getpid()));
    EXPECT_EQ(AuditToken::word(*token, W::effectiveUid), ::geteuid());
    EXPECT_EQ(AuditToken::word(*token, W::effectiveGid), ::getegid());
    EXPECT_EQ(AuditToken::word(*token, W::realUid), ::getuid());
    EXPECT_EQ(AuditToken::word(*token, W::realGid), ::getgid());

    struct stat exe {};
    ASSERT_EQ(::stat("/proc/self/exe", &exe), 0);
    EXPECT_EQ(AuditToken::word(*token, W::executableIdentity), AuditToken::executableIdentity(exe.st_dev, exe.st_ino));
    const auto stat = procfs::readSmallFile("/proc/self/stat");
    ASSERT_TRUE(stat);
    EXPECT_EQ(AuditToken::word(*token, W::startTime),
              static_cast<std::uint32_t>(*ProcessStatus::startTimeFromStat(*stat)));
}

TEST(AuditToken, ExecutableIdentityTellsFilesApart) {
    EXPECT_EQ(AuditToken::executableIdentity(2049, 131), AuditToken::executableIdentity(2049, 131));
    EXPECT_NE(AuditToken::executableIdentity(2049, 131), AuditToken::executableIdentity(2049, 132));
    EXPECT_NE(AuditToken::executableIdentity(2049, 131), AuditToken::executableIdentity(2050, 131));
}

TEST(AuditToken, NoTokenForAMissingProcess) {
    EXPECT_FALSE(AuditToken::forProcess(0));
    EXPECT_FALSE(AuditToken::forProcess(-1));
    EXPECT_FALSE(AuditToken::forProcess(0x3FFFFFFF));
}

TEST(ProcessStatus, ReadsTheStartTimeBehindAnyCommandName) {
    const std::string tail = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 987654321 20 21\n";
    EXPECT_EQ(ProcessStatus::startTimeFromStat("42 (bash)" + tail), 987654321U);
    EXPECT_EQ(ProcessStatus::startTimeFromStat("42 (a) (b c) 7)" + tail), 987654321U);
    EXPECT_FALSE(ProcessStatus::startTimeFromStat("42 (short) S 1 2"));
    EXPECT_FALSE(ProcessStatus::startTimeFromStat("no parenthesis"));
}

TEST(ProcessStatus, ReadsRealAndEffectiveIds) {
    const std::string status = "Name:\tx\nUmask:\t0022\nUid:\t1000\t0\t0\t0\nGid:\t100\t27\t27\t27\n";
    const auto uids = ProcessStatus::idsFromStatus(status, "Uid");
    ASSERT_TRUE(uids);
    EXPECT_EQ(uids->real, 1000U);
    EXPECT_EQ(uids->effective, 0U);
    const auto gids = ProcessStatus::idsFromStatus(status, "Gid");
    ASSERT_TRUE(gids);
    EXPECT_EQ(gids->real, 100U);
    EXPECT_EQ(gids->effective, 27U);
    EXPECT_FALSE(ProcessStatus::idsFromStatus("Uidx:\t1\t2\n", "Uid"));
    EXPECT_FALSE(ProcessStatus::idsFromStatus("Uid:\t1\n", "Uid"));
}

}  // namespace
}  // namespace corvane::platform
