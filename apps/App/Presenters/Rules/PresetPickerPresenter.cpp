#include "PresetPickerPresenter.hpp"

#include "CorvaneCore/Presets/PresetCatalog.hpp"

namespace corvane::app {

std::vector<PresetPickerPresenter::Section> PresetPickerPresenter::sections() const {
    const auto results = PresetCatalog::search(query_);
    std::vector<Section> sections;
    for (PresetCategory category : allPresetCategories) {
        Section section{category, std::string(toString(category)), {}};
        for (const ServicePreset& preset : results)
            if (preset.category == category) section.presets.push_back(preset);
        if (!section.presets.empty()) sections.push_back(std::move(section));
    }
    return sections;
}

std::string PresetPickerPresenter::nothingMatchesText() const { return "Nothing matches “" + query_ + "”"; }

std::string PresetPickerPresenter::summary(const ServicePreset& preset) {
    std::string text = preset.applications.empty() ? "" : "app + ";
    text += std::to_string(preset.hosts.size()) + " domains · ";
    for (std::size_t i = 0; i < preset.hosts.size() && i < 2; ++i) text += (i ? ", " : "") + preset.hosts[i];
    return text;
}

void PresetPickerPresenter::toggle(const std::string& id) {
    if (!selection_.erase(id)) selection_.insert(id);
}

std::string PresetPickerPresenter::selectionText() const {
    if (selection_.empty()) return "Nothing selected";
    return std::to_string(selection_.size()) + " selected";
}

std::vector<ServicePreset> PresetPickerPresenter::chosen() const {
    std::vector<ServicePreset> presets;
    for (const ServicePreset& preset : PresetCatalog::all())
        if (selection_.contains(preset.id)) presets.push_back(preset);
    return presets;
}

}  // namespace corvane::app
