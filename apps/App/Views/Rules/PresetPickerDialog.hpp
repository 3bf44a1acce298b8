#pragma once

#include <string>
#include <vector>

#include "CorvaneCore/Presets/ServicePreset.hpp"
#include "PresenterPicker.hpp"
#include "Presenters/Rules/PresetPickerPresenter.hpp"

class QStackedWidget;

namespace corvane::app {

// The sheet that picks service presets from the built-in catalogue, searched
// and grouped by category. "Add to Rule" hands the chosen presets, in
// catalogue order, to chosen() and closes.
class PresetPickerDialog : public PresenterPicker<PresetPickerPresenter> {
    Q_OBJECT

public:
    explicit PresetPickerDialog(QWidget* parent = nullptr);

    QLabel* nothingMatches() const { return nothingMatches_; }

signals:
    void chosen(const std::vector<ServicePreset>& presets);

private:
    QWidget* makeEmptyView();
    void emitChosen() override { emit chosen(presenter_.chosen()); }
    void refresh() override;

    QStackedWidget* results_;
    QLabel* nothingMatches_ = nullptr;
};

}  // namespace corvane::app
