#pragma once

#include <compare>

namespace corvane {

// A point in time as seconds since 2001-01-01 00:00:00 UTC, the form every
// stored date and every JSON date of the system uses.
struct Date {
    // Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
    static constexpr double kUnixOffset = 978307200.0;

    double sinceReferenceDate = 0;

    static Date now();
    static Date fromUnix(double secondsSince1970) { return Date{secondsSince1970 - kUnixOffset}; }

    double unixTime() const { return sinceReferenceDate + kUnixOffset; }
    double timeIntervalSince(Date other) const { return sinceReferenceDate - other.sinceReferenceDate; }
    Date addingTimeInterval(double seconds) const { return Date{sinceReferenceDate + seconds}; }

    friend auto operator<=>(const Date&, const Date&) = default;
};

}  // namespace corvane
