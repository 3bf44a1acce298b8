#include "DateTexts.hpp"

#include <algorithm>
#include <cmath>

#include <QDateTime>
#include <QLocale>

namespace corvane::app::DateTexts {

namespace {

// Dates further than this from the reference date are shown as this far.
constexpr double kDateLimit = 1e12;

QDateTime localTime(Date date) {
    const double seconds = std::isnan(date.sinceReferenceDate) ? 0.0 : date.sinceReferenceDate;
    const double unix = std::clamp(seconds, -kDateLimit, kDateLimit) + Date::kUnixOffset;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(unix * 1000)));
}

// A time format without its zone name: every unquoted "t" goes.
QString withoutZone(const QString& format) {
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') continue;
        out += c;
    }
    return out.trimmed();
}

}  // namespace

QString timeOfDay(Date date) {
    return QLocale().toString(localTime(date).time(), QLocale::ShortFormat);
}

QString dateAndTime(Date date) {
    const QLocale locale;
    const QDateTime at = localTime(date);
    return locale.toString(at.date(), QLocale::ShortFormat) + " " +
           locale.toString(at.time(), withoutZone(locale.timeFormat(QLocale::LongFormat)));
}

}  // namespace corvane::app::DateTexts
