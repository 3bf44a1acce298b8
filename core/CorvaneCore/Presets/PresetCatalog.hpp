#pragma once

#include "CorvaneCore/Presets/PresetCategory.hpp"
#include "CorvaneCore/Presets/ServicePreset.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The built-in catalogue of service presets and the operations the rule editor
// and the preset picker use on it. The catalogue is fixed data; a rule built
// from presets only holds the merged patterns.
namespace corvane::PresetCatalog {

struct MergedPatterns {
    std::vector<std::string> applications;
    std::vector<std::string> hosts;

    friend bool operator==(const MergedPatterns&, const MergedPatterns&) = default;
};

// Every preset, categories in their order and each category's presets in
// catalogue order; built once and kept for the life of the process.
const std::vector<ServicePreset>& all();

std::vector<ServicePreset> presets(PresetCategory category);

// The presets whose name, identifier, application or host patterns contain the
// trimmed, lower-cased query; every preset for an empty query.
std::vector<ServicePreset> search(std::string_view query);

// The preset with exactly this identifier (case-sensitive).
std::optional<ServicePreset> preset(std::string_view id);

// The presets' patterns in first-seen order, each once.
MergedPatterns merge(const std::vector<ServicePreset>& presets);

// "New Rule", the one name, "A + B", or "A + N more".
std::string suggestedRuleName(const std::vector<ServicePreset>& presets);

}  // namespace corvane::PresetCatalog
