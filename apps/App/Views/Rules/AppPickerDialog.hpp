#pragma once

#include <set>
#include <string>
#include <vector>

#include "PickerDialog.hpp"
#include "Presenters/Rules/AppPickerPresenter.hpp"

class QStackedWidget;

namespace corvane::app {

// The sheet that picks applications: the ones seen making connections first,
// then the installed ones, found by a scan that runs while the sheet shows a
// spinner. "Add to Rule" hands the chosen apps to chosen() and closes.
class AppPickerDialog : public PickerDialog {
    Q_OBJECT

public:
    AppPickerDialog(std::set<std::string> seenIdentifiers, InstalledAppsScanner::Sources sources,
                    QWidget* parent = nullptr);

    AppPickerPresenter& presenter() { return presenter_; }
    bool isShowingSpinner() const;

signals:
    void chosen(const std::vector<InstalledApp>& apps);

private:
    void setQuery(const std::string& query) override { presenter_.setQuery(query); }
    void toggle(const std::string& id) override { presenter_.toggle(id); }
    bool isSelected(const std::string& id) const override { return presenter_.isSelected(id); }
    std::string selectionText() const override { return presenter_.selectionText(); }
    bool canAdd() const override { return presenter_.canAdd(); }
    void emitChosen() override { emit chosen(presenter_.chosen()); }
    void refresh() override;
    QListWidgetItem* appItem(const InstalledApp& app) const;

    AppPickerPresenter presenter_;
    QStackedWidget* content_;
};

}  // namespace corvane::app
