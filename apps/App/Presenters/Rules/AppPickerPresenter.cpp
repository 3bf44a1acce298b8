#include "AppPickerPresenter.hpp"

#include <QtConcurrent/QtConcurrentRun>

#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::app {

AppPickerPresenter::AppPickerPresenter(QObject* parent) : QObject(parent) {
    connect(&scan_, &QFutureWatcher<std::vector<InstalledApp>>::finished, this, &AppPickerPresenter::finish);
}

std::set<std::string> AppPickerPresenter::seenIdentifiers(const std::vector<ConnectionRecord>& records) {
    std::set<std::string> ids;
    for (const ConnectionRecord& record : records)
        if (record.appIdentifier != "?" && !record.appIdentifier.empty()) ids.insert(record.appIdentifier);
    return ids;
}

void AppPickerPresenter::load(InstalledAppsScanner::Sources sources, std::set<std::string> seen) {
    isLoading_ = true;
    apps_.clear();
    scan_.setFuture(QtConcurrent::run([sources = std::move(sources), seen = std::move(seen)] {
        return InstalledAppsScanner::scan(sources, seen);
    }));
}

void AppPickerPresenter::finish() {
    apps_ = scan_.result();
    isLoading_ = false;
    emit loaded();
}

std::vector<InstalledApp> AppPickerPresenter::matches() const {
    const std::string needle = unicode::lowercased(unicode::trimmed(query_));
    if (needle.empty()) return apps_;
    std::vector<InstalledApp> result;
    for (const InstalledApp& app : apps_) {
        if (unicode::lowercased(app.name).find(needle) != std::string::npos ||
            unicode::lowercased(app.id).find(needle) != std::string::npos)
            result.push_back(app);
    }
    return result;
}

std::vector<InstalledApp> AppPickerPresenter::seenMatches() const {
    auto apps = matches();
    std::erase_if(apps, [](const InstalledApp& app) { return !app.seenInLog; });
    return apps;
}

std::vector<InstalledApp> AppPickerPresenter::installedMatches() const {
    auto apps = matches();
    std::erase_if(apps, [](const InstalledApp& app) { return app.seenInLog; });
    return apps;
}

void AppPickerPresenter::toggle(const std::string& id) {
    if (!selection_.erase(id)) selection_.insert(id);
}

std::string AppPickerPresenter::selectionText() const {
    if (selection_.empty()) return "Nothing selected";
    return std::to_string(selection_.size()) + " selected";
}

std::vector<InstalledApp> AppPickerPresenter::chosen() const {
    std::vector<InstalledApp> apps;
    for (const InstalledApp& app : apps_)
        if (selection_.contains(app.id)) apps.push_back(app);
    return apps;
}

}  // namespace corvane::app
