#pragma once

#include <set>
#include <string>
#include <vector>

#include "PresenterPicker.hpp"
#include "Presenters/Rules/AppPickerPresenter.hpp"

class QStackedWidget;

namespace corvane::app {

// The sheet that picks applications: the ones seen making connections first,
// then the installed ones, found by a scan that runs while the sheet shows a
// spinner. "Add to Rule" hands the chosen apps to chosen() and closes.
class AppPickerDialog : public PresenterPicker<AppPickerPresenter> {
    Q_OBJECT

public:
    AppPickerDialog(std::set<std::string> seenIdentifiers, InstalledAppsScanner::Sources sources,
                    QWidget* parent = nullptr);

    bool isShowingSpinner() const;

signals:
    void chosen(const std::vector<InstalledApp>& apps);

private:
    void emitChosen() override { emit chosen(presenter_.chosen()); }
    void refresh() override;
    QListWidgetItem* appItem(const InstalledApp& app) const;

    QStackedWidget* content_;
};

}  // namespace corvane::app
