#pragma once

#include "CorvaneCore/Presets/PresetCategory.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace corvane {

// A ready-made set of application and host patterns for one online service.
struct ServicePreset {
    std::string id;  // stable, lower case
    std::string name;
    PresetCategory category = PresetCategory::ai;
    std::vector<std::string> applications;  // application identifier globs, may be empty
    std::vector<std::string> hosts;         // exact host names and "*." wildcard domains
    std::string symbolName;

    friend bool operator==(const ServicePreset&, const ServicePreset&) = default;
};

}  // namespace corvane

template <>
struct std::hash<corvane::ServicePreset> {
    std::size_t operator()(const corvane::ServicePreset& preset) const noexcept;
};
