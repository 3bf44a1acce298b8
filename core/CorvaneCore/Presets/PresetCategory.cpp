#include "CorvaneCore/Presets/PresetCategory.hpp"

namespace corvane {

std::string_view toString(PresetCategory category) {
    switch (category) {
        case PresetCategory::ai: return "AI assistants";
        case PresetCategory::messaging: return "Messaging";
        case PresetCategory::social: return "Social & video";
        case PresetCategory::media: return "Media";
        case PresetCategory::developer: return "Developer";
        case PresetCategory::work: return "Work";
    }
    return {};
}

std::optional<PresetCategory> presetCategoryFromString(std::string_view text) {
    for (const PresetCategory category : allPresetCategories) {
        if (toString(category) == text) return category;
    }
    return std::nullopt;
}

}  // namespace corvane
