#pragma once

#include <string>
#include <string_view>

#include "CorvaneCore/Matching/PatternValidator.hpp"

// The texts of one pattern field of the rule editor.
namespace corvane::app::PatternListTexts {

// "any" for no entries, "1 entry", else the count and " entries"; entries as
// the validator splits them (line breaks and commas, trimmed, empty ones
// dropped, duplicates kept).
std::string countLabel(std::string_view fieldText);
// "“entry” — message".
std::string errorLine(const PatternValidator::EntryError& error);

}  // namespace corvane::app::PatternListTexts
