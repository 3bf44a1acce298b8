#pragma once

#include <QPointer>
#include <QWidget>

#include "Presenters/Connections/ConnectionsPresenter.hpp"
#include "Views/Connections/ConnectionGroupModel.hpp"
#include "Views/Connections/ConnectionTableModel.hpp"

class QAbstractItemView;
class QAction;
class QLabel;
class QLineEdit;
class QStackedWidget;
class QTableView;
class QToolButton;
class QTreeView;

namespace corvane::app {

class ConnectionDetailSheet;
class ContentPlaceholder;
class ThroughputChart;

// The Connections page: the throughput chart over the records, flat in a table
// or grouped by application, filtered by status and text, with the detail sheet
// and the CSV export. In both views a row is chosen by click or arrow keys and
// a record shows its details on a double click, Return or its context menu.
// The records poll runs while the page is shown. Polls update the rows in
// place: open groups stay open, the selection, the scroll position and an open
// context menu stay.
class ConnectionsPage : public QWidget {
    Q_OBJECT

public:
    ConnectionsPage(AppState& state, QSettings& settings, DesktopServices& desktop, QWidget* parent = nullptr);

    ConnectionsPresenter& presenter() { return presenter_; }
    QLineEdit* searchField() const { return search_; }
    QToolButton* filterButton() const { return filter_; }
    QAction* groupAction() const { return groupAction_; }
    QAction* chartAction() const { return chartAction_; }
    QAction* exportAction() const { return exportAction_; }
    ThroughputChart* chart() const { return chart_; }
    ContentPlaceholder* emptyState() const { return emptyState_; }
    QTableView* table() const { return table_; }
    QTreeView* groupList() const { return groupList_; }
    const ConnectionGroupModel& groupModel() const { return groupModel_; }
    // The overlay over the table or list while no record passes the filters.
    bool showsNoMatchOverlay() const;
    // The open detail sheet, if any.
    ConnectionDetailSheet* detailSheet() const;
    // Opens the detail sheet of a record's row in the table or the grouped list.
    void showDetails(const QModelIndex& index);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeContent();
    void refresh();
    // The record of a row of either view; null for a group or no row.
    const ConnectionRecord* recordAt(const QModelIndex& index) const;
    // Gives the table's flexible columns their shares of its width, after what
    // their texts need.
    void shareColumns();
    int neededWidth(int column) const;
    void showContextMenu(QAbstractItemView& view, const QPoint& position);
    void openDetails(const ConnectionRecord& record);

    ConnectionsPresenter presenter_;
    DesktopServices& desktop_;
    ConnectionTableModel tableModel_;
    ConnectionGroupModel groupModel_;
    QLineEdit* search_ = nullptr;
    QToolButton* filter_ = nullptr;
    QAction* groupAction_ = nullptr;
    QAction* chartAction_ = nullptr;
    QAction* exportAction_ = nullptr;
    QAction* allStatuses_ = nullptr;
    std::vector<std::pair<ConnectionStatus, QAction*>> statusActions_;
    ThroughputChart* chart_ = nullptr;
    QWidget* chartArea_ = nullptr;
    QStackedWidget* content_ = nullptr;
    ContentPlaceholder* emptyState_ = nullptr;
    QTableView* table_ = nullptr;
    QTreeView* groupList_ = nullptr;
    QLabel* tableOverlay_ = nullptr;
    QLabel* listOverlay_ = nullptr;
    QPointer<ConnectionDetailSheet> detailSheet_;
};

}  // namespace corvane::app
