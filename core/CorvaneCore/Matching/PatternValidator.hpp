#pragma once

#include "CorvaneCore/Support/UUID.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Checks of what a user types into a rule's Applications, Hosts and Ports
// fields: one user-facing message per bad entry. It only advises; the rule
// engine never calls it.
namespace corvane::PatternValidator {

struct EntryError {
    UUID id;             // fresh for each error
    std::string entry;   // the trimmed entry as the check saw it
    std::string message;
};

// The entries of a field: split at line breaks and ",", each trimmed of
// spaces and tabs, empty pieces dropped, order and duplicates kept.
std::vector<std::string> entries(std::string_view fieldText);
// The entries joined with "\n", to fill a field from a stored rule.
std::string text(const std::vector<std::string>& entries);

std::vector<EntryError> validateHosts(std::string_view fieldText);
std::vector<EntryError> validateApplications(std::string_view fieldText);
std::vector<EntryError> validatePorts(std::string_view fieldText);

std::optional<std::string> hostPatternError(std::string_view entry);
std::optional<std::string> applicationPatternError(std::string_view entry);
std::optional<std::string> portError(std::string_view entry);

}  // namespace corvane::PatternValidator
