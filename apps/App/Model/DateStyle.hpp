#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

// The date and time styles the app shows dates in, made from the user's
// locale: Qt's locales carry a long and a short format only.
namespace corvane::app::DateStyle {

// The abbreviated date: the locale's long date without the weekday and with
// the month's short name ("Jan 1, 2001" in American English, "1. Jan. 2001"
// in German).
QString abbreviatedDate(const QDate& date, const QLocale& locale = QLocale());
// The time with hours and minutes in the locale's short form.
QString shortTime(const QTime& time, const QLocale& locale = QLocale());
// The time with seconds in the locale's long form, without the zone's name.
QString standardTime(const QTime& time, const QLocale& locale = QLocale());

}  // namespace corvane::app::DateStyle
