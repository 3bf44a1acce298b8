#include "Shared/VersionText.hpp"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(VersionTextTest, AMissingPartReadsAsAQuestionMark) {
    EXPECT_EQ(versionText("1.2", std::nullopt), "1.2 (?)");
    EXPECT_EQ(versionText(std::nullopt, "7"), "? (7)");
    EXPECT_EQ(versionText("", ""), "? (?)");
    EXPECT_EQ(versionText("1.0", "12"), "1.0 (12)");
    EXPECT_EQ(versionText().find('?'), std::string::npos) << "this build has both";
}

}  // namespace
}  // namespace corvane
