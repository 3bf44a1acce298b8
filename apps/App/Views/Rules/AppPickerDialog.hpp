#pragma once

#include <set>
#include <string>
#include <vector>

#include <QDialog>

#include "Presenters/Rules/AppPickerPresenter.hpp"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QStackedWidget;

namespace corvane::app {

class PickerSearchBar;

// The sheet that picks applications: the ones seen making connections first,
// then the installed ones, found by a scan that runs while the sheet shows a
// spinner. "Add to Rule" hands the chosen apps to chosen() and closes.
class AppPickerDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 520;
    static constexpr int kHeight = 560;

    AppPickerDialog(std::set<std::string> seenIdentifiers, InstalledAppsScanner::Sources sources,
                    QWidget* parent = nullptr);

    AppPickerPresenter& presenter() { return presenter_; }
    PickerSearchBar* searchBar() const { return search_; }
    QListWidget* list() const { return list_; }
    QLabel* selectionCount() const { return count_; }
    QPushButton* addButton() const { return add_; }
    bool isShowingSpinner() const;

signals:
    void chosen(const std::vector<InstalledApp>& apps);

private:
    QWidget* makeFooter();
    void refresh();
    void refreshSelection();
    void toggle(QListWidgetItem* item);
    QListWidgetItem* appItem(const InstalledApp& app) const;

    AppPickerPresenter presenter_;
    PickerSearchBar* search_;
    QStackedWidget* content_;
    QListWidget* list_;
    QLabel* count_ = nullptr;
    QPushButton* add_ = nullptr;
};

}  // namespace corvane::app
