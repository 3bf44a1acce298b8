// The date and time styles made from a locale's formats: the abbreviated date
// with the month's name and no weekday, the time without seconds, and the time
// with seconds but no zone.
#include <QLocale>
#include <gtest/gtest.h>

#include "Model/DateStyle.hpp"
#include "Support/QtPrinters.hpp"

namespace corvane::app::testing {
namespace {

TEST(DateStyleTest, TheAbbreviatedDateNamesTheMonthInTheLocalesOrder) {
    const QDate newYear(2001, 1, 1);
    const struct {
        const char* locale;
        const char* date;
    } cases[] = {
        {"en_US", "Jan 1, 2001"},
        {"en_GB", "1 Jan 2001"},
        {"de_DE", "1. Jan. 2001"},
        {"C", "1 Jan 2001"},
        // The weekday stands last here, after a comma.
        {"hu_HU", "2001. jan. 1."},
        // No separator before the weekday, and an Arabic comma after it.
        {"ja_JP", "2001年1月1日"},
        {"ar_EG", "١ يناير ٢٠٠١"},
    };
    for (const auto& c : cases) EXPECT_EQ(DateStyle::abbreviatedDate(newYear, QLocale(c.locale)), c.date) << c.locale;
}

TEST(DateStyleTest, TimesKeepOrDropTheSecondsAndNeverShowTheZone) {
    const QTime afternoon(13, 1, 9);
    const struct {
        const char* locale;
        const char* shortTime;
        const char* standardTime;
    } cases[] = {
        {"en_US", "1:01 PM", "1:01:09 PM"},
        {"C", "13:01", "13:01:09"},
        // The zone in brackets, and the zone first.
        {"es_ES", "13:01", "13:01:09"},
        {"zh_CN", "13:01", "13:01:09"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateStyle::shortTime(afternoon, QLocale(c.locale)), c.shortTime) << c.locale;
        EXPECT_EQ(DateStyle::standardTime(afternoon, QLocale(c.locale)), c.standardTime) << c.locale;
    }
}

}  // namespace
}  // namespace corvane::app::testing
