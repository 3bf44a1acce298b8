#include "CorvaneCore/Support/Date.hpp"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(DateTest, ReferenceDateIsTheStartOf2001) {
    EXPECT_EQ(Date::fromUnix(978307200.0).sinceReferenceDate, 0.0);
    EXPECT_EQ(Date{86400}.unixTime(), 978393600.0);
    EXPECT_GT(Date::now().sinceReferenceDate, 7.8e8);  // later than 2025
    EXPECT_EQ(Date{10}.timeIntervalSince(Date{4}), 6.0);
}

}  // namespace
}  // namespace corvane
