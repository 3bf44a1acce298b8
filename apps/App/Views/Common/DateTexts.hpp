#pragma once

#include <QString>

#include "CorvaneCore/Support/Date.hpp"

// Dates as the pages show them, in local time and the user's locale.
namespace corvane::app::DateTexts {

// The time of day in the locale's short time format.
QString timeOfDay(Date date);
// The abbreviated date ("Jan 1, 2001") and the time with seconds, without the
// zone's name.
QString dateAndTime(Date date);

}  // namespace corvane::app::DateTexts
