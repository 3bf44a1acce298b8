#include "CorvaneCore/Models/RuleMatchMode.hpp"

namespace corvane {

std::string_view toString(RuleMatchMode mode) {
    return mode == RuleMatchMode::all ? "all" : "any";
}

std::optional<RuleMatchMode> ruleMatchModeFromString(std::string_view text) {
    if (text == "all") return RuleMatchMode::all;
    if (text == "any") return RuleMatchMode::any;
    return std::nullopt;
}

}  // namespace corvane
