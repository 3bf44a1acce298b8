#include "CorvaneCore/Support/UUID.hpp"

#include <gtest/gtest.h>

#include <set>

namespace corvane {
namespace {

TEST(UUIDTest, ReadsEitherCaseAndWritesUpperCase) {
    const auto id = UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->toString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), id);
}

TEST(UUIDTest, RejectsEveryOtherForm) {
    for (const char* text : {
             "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}",
             "urn:uuid:E621E1F8-C36C-495A-93FC-0C247A3E6E5F",
             "E621E1F8C36C495A93FC0C247A3E6E5F",
             "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
             "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF",
             "E621E1F8-C36C-495A-93FC+0C247A3E6E5F",
             "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
             "",
         }) {
        EXPECT_FALSE(UUID::fromString(text)) << text;
    }
}

TEST(UUIDTest, RandomIdentifiersAreVersionFourAndDistinct) {
    std::set<UUID> seen;
    for (int i = 0; i < 64; ++i) {
        const UUID id = UUID::random();
        EXPECT_EQ(id.bytes()[6] >> 4, 4);
        EXPECT_EQ(id.bytes()[8] >> 6, 2);
        EXPECT_EQ(UUID::fromString(id.toString()), id);
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 64u);
}

}  // namespace
}  // namespace corvane
