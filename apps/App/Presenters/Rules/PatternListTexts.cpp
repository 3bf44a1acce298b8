#include "PatternListTexts.hpp"

namespace corvane::app::PatternListTexts {

std::string countLabel(std::string_view fieldText) {
    const std::size_t count = PatternValidator::entries(fieldText).size();
    if (count == 0) return "any";
    if (count == 1) return "1 entry";
    return std::to_string(count) + " entries";
}

std::string errorLine(const PatternValidator::EntryError& error) {
    return "“" + error.entry + "” — " + error.message;
}

}  // namespace corvane::app::PatternListTexts
