#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QSettings>
#include <QString>

#include "CorvaneCore/Logging/ConnectionGroup.hpp"
#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "Model/AppState.hpp"
#include "Model/RecordsPoll.hpp"
#include "Presenters/Connections/ConnectionFilter.hpp"
#include "Presenters/DesktopServices.hpp"

namespace corvane::app {

// The Connections page without its widgets: the filters, the two stored
// toggles, what the page shows for the model's records, the records poll while
// the page is shown, and the CSV export of the visible records. The records
// are filtered once per poll and per filter change; the table, the groups, the
// no-match overlay and the export all read that one result.
class ConnectionsPresenter : public QObject {
    Q_OBJECT

public:
    enum class Content { emptyState, table, groups };

    static constexpr const char* kGroupedKey = "connectionsGrouped";
    static constexpr const char* kShowChartKey = "showThroughputChart";

    ConnectionsPresenter(AppState& state, QSettings& settings, DesktopServices& desktop, QObject* parent = nullptr);

    const QString& searchText() const { return searchText_; }
    void setSearchText(const QString& text);
    std::optional<ConnectionStatus> statusFilter() const { return filter_.status; }
    void setStatusFilter(std::optional<ConnectionStatus> status);
    // Stored in the settings; an absent key reads as on.
    bool isGrouped() const;
    void setGrouped(bool grouped);
    bool showsChart() const;
    void setShowsChart(bool shown);

    // The model's records that pass the filters, in their order.
    const std::vector<ConnectionRecord>& filteredRecords() const { return filtered_; }
    std::vector<ConnectionGroup> groups() const;
    Content content() const;
    const std::vector<ThroughputTracker::Sample>& throughput() const { return state_.throughput(); }
    // The chart toggle is on and the model has samples.
    bool showsChartArea() const;
    // "No connections match the current filter." over an empty table or list.
    bool showsNoMatchOverlay() const;
    // The empty state's hint while the engine is not running: to install the
    // tunnel service where none is installed, else to start the engine.
    QString emptyStateHint() const;
    // "All", or the filtered status's title.
    QString filterTitle() const;
    bool canExport() const;

    // The records poll runs while this is on (while the page is shown).
    void setPolling(bool on);
    bool isPolling() const { return poll_ != nullptr; }

    // Asks for a file and writes the visible records there as CSV, once; a
    // failed write sets the model's error, a cancelled dialog does nothing.
    void exportCSV();

signals:
    // Something the page shows may have changed.
    void changed();

private:
    void applyFilter();

    AppState& state_;
    QSettings& settings_;
    DesktopServices& desktop_;
    QString searchText_;
    ConnectionFilter filter_;
    std::vector<ConnectionRecord> filtered_;
    std::unique_ptr<RecordsPoll> poll_;
};

}  // namespace corvane::app
