#pragma once

#include <QString>

#include "CorvaneCore/Support/Date.hpp"

// Dates as the pages show them, in local time and the user's locale.
namespace corvane::app::DateTexts {

// The time of day in the locale's short time format.
QString timeOfDay(Date date);
// The locale's short date and its time with seconds, without the zone name.
QString dateAndTime(Date date);

}  // namespace corvane::app::DateTexts
