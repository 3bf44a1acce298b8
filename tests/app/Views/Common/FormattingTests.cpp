// Byte counts and dates as every page shows them, in the C locale and UTC.
#include <cstdint>
#include <limits>

#include <QLocale>
#include <gtest/gtest.h>

#include "Presenters/FormatBytes.hpp"
#include "Views/Common/DateTexts.hpp"
#include "Support/QtPrinters.hpp"

namespace corvane::app::testing {
namespace {

TEST(FormatBytesTest, CountsUse1024BasedUnitsAndSaturateBeyondTheSignedRange) {
    const std::uint64_t largest = std::numeric_limits<std::uint64_t>::max();
    const struct {
        std::uint64_t count;
        const char* text;
    } cases[] = {
        {0, "0 bytes"},
        {1, "1 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.0 kB"},
        {1536, "1.5 kB"},
        {5ull << 30, "5.0 GB"},
        {static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()), "8.0 EB"},
        {largest, "8.0 EB"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatBytes(c.count), c.text) << c.count;
}

TEST(DateTextsTest, TimesAreLocalAndTheFullFormHasSecondsButNoZone) {
    const Date afternoon{13 * 3600 + 61.9};
    EXPECT_EQ(DateTexts::timeOfDay(afternoon), "13:01:01");
    EXPECT_EQ(DateTexts::dateAndTime(afternoon), "1 Jan 2001 13:01:01");
    EXPECT_EQ(DateTexts::dateAndTime(Date{-0.5}), "31 Dec 2000 23:59:59");
    EXPECT_FALSE(DateTexts::dateAndTime(Date{std::numeric_limits<double>::quiet_NaN()}).isEmpty());
    EXPECT_FALSE(DateTexts::dateAndTime(Date{std::numeric_limits<double>::infinity()}).isEmpty());
}

// The detail sheet's "Started" names the month in the user's locale, as the
// abbreviated date style does, not the numeric short date ("1/1/01").
TEST(DateTextsTest, TheFullFormHasTheAbbreviatedDateOfTheLocale) {
    QLocale::setDefault(QLocale("en_US"));
    const QString american = DateTexts::dateAndTime(Date{13 * 3600 + 61.9});
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(american, "Jan 1, 2001 1:01:01 PM");
}

}  // namespace
}  // namespace corvane::app::testing
