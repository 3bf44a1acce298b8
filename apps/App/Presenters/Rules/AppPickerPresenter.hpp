#pragma once

#include <set>
#include <string>
#include <vector>

#include <QFutureWatcher>
#include <QObject>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "InstalledApp.hpp"
#include "InstalledAppsScanner.hpp"

namespace corvane::app {

// The application picker: the installed and seen applications from a scan run
// off the main thread, searched by name and identifier, with a selection that
// survives searches. The scan holds only values; destroying the presenter
// before it ends drops its result.
class AppPickerPresenter : public QObject {
    Q_OBJECT

public:
    explicit AppPickerPresenter(QObject* parent = nullptr);

    // The identifiers of the records, without "?" (a source without one).
    static std::set<std::string> seenIdentifiers(const std::vector<ConnectionRecord>& records);

    // Starts the scan; loaded() follows on the main thread.
    void load(InstalledAppsScanner::Sources sources, std::set<std::string> seen);
    bool isLoading() const { return isLoading_; }
    const std::vector<InstalledApp>& apps() const { return apps_; }

    const std::string& query() const { return query_; }
    void setQuery(std::string query) { query_ = std::move(query); }
    // The apps the query admits, in list order, split by whether they were seen.
    std::vector<InstalledApp> matches() const;
    std::vector<InstalledApp> seenMatches() const;
    std::vector<InstalledApp> installedMatches() const;

    bool isSelected(const std::string& id) const { return selection_.contains(id); }
    void toggle(const std::string& id);
    // "Nothing selected" or "N selected".
    std::string selectionText() const;
    bool canAdd() const { return !selection_.empty(); }
    // The selected apps in list order, hidden ones included.
    std::vector<InstalledApp> chosen() const;

signals:
    void loaded();

private:
    void finish();

    QFutureWatcher<std::vector<InstalledApp>> scan_;
    bool isLoading_ = true;
    std::vector<InstalledApp> apps_;
    std::string query_;
    std::set<std::string> selection_;
};

}  // namespace corvane::app
