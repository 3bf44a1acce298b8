#pragma once

#include <string>

#include "PickerDialog.hpp"

namespace corvane::app {

// A picker sheet over a presenter that keeps the query and the selection
// (AppPickerPresenter, PresetPickerPresenter); the sheet itself only emits
// the chosen items.
template <class Presenter>
class PresenterPicker : public PickerDialog {
public:
    Presenter& presenter() { return presenter_; }

protected:
    using PickerDialog::PickerDialog;

    void setQuery(const std::string& query) override { presenter_.setQuery(query); }
    void toggle(const std::string& id) override { presenter_.toggle(id); }
    bool isSelected(const std::string& id) const override { return presenter_.isSelected(id); }
    std::string selectionText() const override { return presenter_.selectionText(); }
    bool canAdd() const override { return presenter_.canAdd(); }

    Presenter presenter_;
};

}  // namespace corvane::app
