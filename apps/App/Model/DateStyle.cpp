#include "DateStyle.hpp"

#include <optional>
#include <utility>

namespace corvane::app::DateStyle {

namespace {

// Where the first run of at least `shortest` unquoted `letter`s starts in a
// date or time format, and how long it is.
std::optional<std::pair<qsizetype, qsizetype>> unquotedRun(const QString& format, QChar letter, qsizetype shortest) {
    bool quoted = false;
    for (qsizetype at = 0; at < format.size();) {
        if (format[at] == u'\'') quoted = !quoted;
        if (quoted || format[at] != letter) {
            ++at;
            continue;
        }
        qsizetype end = at;
        while (end < format.size() && format[end] == letter) ++end;
        if (end - at >= shortest) return std::pair{at, end - at};
        at = end;
    }
    return std::nullopt;
}

// What stands between the parts of a long date: spaces and commas (Latin,
// Arabic, full-width).
bool isSeparator(QChar c) { return c.isSpace() || c == u',' || c == u'\u060C' || c == u'\uFF0C'; }

// `format` without the run at `run` and the separators on one side of it:
// after it when it leads, else before it.
QString withoutRun(QString format, std::pair<qsizetype, qsizetype> run) {
    auto [at, length] = run;
    if (at == 0) {
        while (at + length < format.size() && isSeparator(format[at + length])) ++length;
    } else {
        while (at > 0 && isSeparator(format[at - 1])) --at, ++length;
    }
    return format.remove(at, length);
}

}  // namespace

QString abbreviatedDate(const QDate& date, const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::LongFormat);
    if (const auto weekday = unquotedRun(format, u'd', 3)) format = withoutRun(format, *weekday);
    if (const auto month = unquotedRun(format, u'M', 4)) format.replace(month->first, month->second, "MMM");
    return locale.toString(date, format.trimmed());
}

QString shortTime(const QTime& time, const QLocale& locale) {
    // Some locales' short form carries seconds too.
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (const auto seconds = unquotedRun(format, u's', 1)) {
        // The seconds go with the separator before them (":ss", ".ss").
        const auto [at, length] = *seconds;
        format.remove(at > 0 ? at - 1 : at, at > 0 ? length + 1 : length);
    }
    return locale.toString(time, format);
}

QString standardTime(const QTime& time, const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    if (const auto zone = unquotedRun(format, u't', 1)) format = withoutRun(format, *zone);
    // A zone written in brackets leaves them empty.
    format.remove("()");
    return locale.toString(time, format.trimmed());
}

}  // namespace corvane::app::DateStyle
