#include <gtest/gtest.h>

#include "CorvaneCore/Presets/PresetCatalog.hpp"
#include "Presenters/Rules/PresetPickerPresenter.hpp"

namespace corvane::app::testing {
namespace {

std::vector<std::string> ids(const std::vector<ServicePreset>& presets) {
    std::vector<std::string> ids;
    for (const auto& preset : presets) ids.push_back(preset.id);
    return ids;
}

TEST(PresetPickerPresenter, AnEmptyQueryListsEveryCategoryInOrder) {
    PresetPickerPresenter picker;
    const auto sections = picker.sections();
    std::vector<std::string> titles;
    std::size_t count = 0;
    for (const auto& section : sections) {
        titles.push_back(section.title);
        count += section.presets.size();
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"AI assistants", "Messaging", "Social & video", "Media", "Developer",
                                                "Work"}));
    EXPECT_EQ(count, PresetCatalog::all().size());
    picker.setQuery("   ");
    EXPECT_EQ(picker.sections().size(), sections.size());
}

TEST(PresetPickerPresenter, ASearchKeepsOnlyCategoriesWithResults) {
    PresetPickerPresenter picker;
    picker.setQuery(" TELEGRAM ");
    const auto sections = picker.sections();
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].title, "Messaging");
    EXPECT_EQ(ids(sections[0].presets), std::vector<std::string>{"telegram"});
}

TEST(PresetPickerPresenter, NothingMatchesQuotesTheQueryAsTyped) {
    PresetPickerPresenter picker;
    picker.setQuery("  zz ");
    EXPECT_TRUE(picker.sections().empty());
    EXPECT_EQ(picker.nothingMatchesText(), "Nothing matches “  zz ”");
}

TEST(PresetPickerPresenter, HiddenSelectionsAreCountedAndReturnedInCatalogueOrder) {
    PresetPickerPresenter picker;
    EXPECT_EQ(picker.selectionText(), "Nothing selected");
    EXPECT_FALSE(picker.canAdd());
    picker.toggle("slack");
    picker.toggle("claude");
    picker.toggle("youtube");
    picker.toggle("youtube");
    picker.setQuery("slack");
    EXPECT_FALSE(picker.isSelected("youtube"));
    EXPECT_TRUE(picker.isSelected("claude")) << "hidden by the search, still selected";
    EXPECT_EQ(picker.selectionText(), "2 selected");
    EXPECT_TRUE(picker.canAdd());
    EXPECT_EQ(ids(picker.chosen()), (std::vector<std::string>{"claude", "slack"}));
}

TEST(PresetPickerPresenter, SummaryNamesAppsOnlyWhenThePresetHasThem) {
    const std::vector<std::pair<ServicePreset, std::string>> cases = {
        {{"p", "P", PresetCategory::ai, {"org.example.P"}, {"a.example", "b.example", "c.example"}, "x"},
         "app + 3 domains · a.example, b.example"},
        {{"p", "P", PresetCategory::ai, {}, {"a.example"}, "x"}, "1 domains · a.example"},
        {{"p", "P", PresetCategory::ai, {"a", "b"}, {}, "x"}, "app + 0 domains · "},
    };
    for (const auto& [preset, summary] : cases) EXPECT_EQ(PresetPickerPresenter::summary(preset), summary);
}

}  // namespace
}  // namespace corvane::app::testing
