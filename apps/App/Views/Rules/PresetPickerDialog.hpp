#pragma once

#include <vector>

#include <QDialog>

#include "CorvaneCore/Presets/ServicePreset.hpp"
#include "Presenters/Rules/PresetPickerPresenter.hpp"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QStackedWidget;

namespace corvane::app {

class PickerSearchBar;

// The sheet that picks service presets from the built-in catalogue, searched
// and grouped by category. "Add to Rule" hands the chosen presets, in
// catalogue order, to chosen() and closes.
class PresetPickerDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 520;
    static constexpr int kHeight = 560;

    explicit PresetPickerDialog(QWidget* parent = nullptr);

    PresetPickerPresenter& presenter() { return presenter_; }
    PickerSearchBar* searchBar() const { return search_; }
    QListWidget* list() const { return list_; }
    QLabel* nothingMatches() const { return nothingMatches_; }
    QLabel* selectionCount() const { return count_; }
    QPushButton* addButton() const { return add_; }

signals:
    void chosen(const std::vector<ServicePreset>& presets);

private:
    QWidget* makeEmptyView();
    QWidget* makeFooter();
    void refresh();
    void refreshSelection();
    void toggle(QListWidgetItem* item);

    PresetPickerPresenter presenter_;
    PickerSearchBar* search_;
    QStackedWidget* results_;
    QListWidget* list_;
    QLabel* nothingMatches_ = nullptr;
    QLabel* count_ = nullptr;
    QPushButton* add_ = nullptr;
};

}  // namespace corvane::app
