#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace corvane {

// The section of the preset picker a service preset is listed under. The raw
// text is also the category's identifier and the title shown for it.
enum class PresetCategory { ai, messaging, social, media, developer, work };

inline constexpr std::array<PresetCategory, 6> allPresetCategories{
    PresetCategory::ai,     PresetCategory::messaging, PresetCategory::social,
    PresetCategory::media,  PresetCategory::developer, PresetCategory::work,
};

std::string_view toString(PresetCategory category);
std::optional<PresetCategory> presetCategoryFromString(std::string_view text);

}  // namespace corvane
