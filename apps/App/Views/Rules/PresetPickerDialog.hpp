#pragma once

#include <string>
#include <vector>

#include "CorvaneCore/Presets/ServicePreset.hpp"
#include "PickerDialog.hpp"
#include "Presenters/Rules/PresetPickerPresenter.hpp"

class QStackedWidget;

namespace corvane::app {

// The sheet that picks service presets from the built-in catalogue, searched
// and grouped by category. "Add to Rule" hands the chosen presets, in
// catalogue order, to chosen() and closes.
class PresetPickerDialog : public PickerDialog {
    Q_OBJECT

public:
    explicit PresetPickerDialog(QWidget* parent = nullptr);

    PresetPickerPresenter& presenter() { return presenter_; }
    QLabel* nothingMatches() const { return nothingMatches_; }

signals:
    void chosen(const std::vector<ServicePreset>& presets);

private:
    QWidget* makeEmptyView();
    void setQuery(const std::string& query) override { presenter_.setQuery(query); }
    void toggle(const std::string& id) override { presenter_.toggle(id); }
    bool isSelected(const std::string& id) const override { return presenter_.isSelected(id); }
    std::string selectionText() const override { return presenter_.selectionText(); }
    bool canAdd() const override { return presenter_.canAdd(); }
    void emitChosen() override { emit chosen(presenter_.chosen()); }
    void refresh() override;

    PresetPickerPresenter presenter_;
    QStackedWidget* results_;
    QLabel* nothingMatches_ = nullptr;
};

}  // namespace corvane::app
