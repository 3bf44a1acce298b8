#pragma once

#include <optional>
#include <string_view>

namespace corvane {

// How a rule combines its application and host lists.
enum class RuleMatchMode { all, any };

// The raw text: the case name.
std::string_view toString(RuleMatchMode mode);
std::optional<RuleMatchMode> ruleMatchModeFromString(std::string_view text);

}  // namespace corvane
