#include "DateTexts.hpp"

#include <algorithm>
#include <cmath>

#include <QDateTime>
#include <QLocale>

#include "Model/DateStyle.hpp"

namespace corvane::app::DateTexts {

namespace {

// Dates further than this from the reference date are shown as this far.
constexpr double kDateLimit = 1e12;

QDateTime localTime(Date date) {
    const double seconds = std::isnan(date.sinceReferenceDate) ? 0.0 : date.sinceReferenceDate;
    const double unix = std::clamp(seconds, -kDateLimit, kDateLimit) + Date::kUnixOffset;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(unix * 1000)));
}

}  // namespace

QString timeOfDay(Date date) {
    return QLocale().toString(localTime(date).time(), QLocale::ShortFormat);
}

QString dateAndTime(Date date) {
    const QDateTime at = localTime(date);
    return DateStyle::abbreviatedDate(at.date()) + " " + DateStyle::standardTime(at.time());
}

}  // namespace corvane::app::DateTexts
