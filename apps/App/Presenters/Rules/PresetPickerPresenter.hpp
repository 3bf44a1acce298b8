#pragma once

#include <set>
#include <string>
#include <vector>

#include "CorvaneCore/Presets/PresetCategory.hpp"
#include "CorvaneCore/Presets/ServicePreset.hpp"

namespace corvane::app {

// The service preset picker: the catalogue searched by the query, in sections
// by category, and a selection that survives searches (hidden presets stay
// selected, counted and handed back).
class PresetPickerPresenter {
public:
    struct Section {
        PresetCategory category;
        std::string title;
        std::vector<ServicePreset> presets;
    };

    const std::string& query() const { return query_; }
    void setQuery(std::string query) { query_ = std::move(query); }

    // The categories with results, in catalogue order; empty when nothing matches.
    std::vector<Section> sections() const;
    // "Nothing matches “" + the query as typed + "”".
    std::string nothingMatchesText() const;
    // "app + " when the preset has applications, the host count and
    // " domains", then " · " and the first two hosts.
    static std::string summary(const ServicePreset& preset);

    bool isSelected(const std::string& id) const { return selection_.contains(id); }
    void toggle(const std::string& id);
    // "Nothing selected" or "N selected".
    std::string selectionText() const;
    bool canAdd() const { return !selection_.empty(); }
    // The selected presets in catalogue order, hidden ones included.
    std::vector<ServicePreset> chosen() const;

private:
    std::string query_;
    std::set<std::string> selection_;
};

}  // namespace corvane::app
