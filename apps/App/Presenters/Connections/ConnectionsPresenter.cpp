#include "ConnectionsPresenter.hpp"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "CorvaneCore/Logging/ConnectionGrouping.hpp"
#include "Model/AtomicFile.hpp"
#include "Presenters/Connections/ConnectionTexts.hpp"
#include "platform/linux/ProcessFiles.hpp"

namespace corvane::app {

namespace {

// The mode a newly made file gets: read and write for all, less the umask,
// read from the kernel since umask() cannot read it without setting it.
mode_t newFileMode() {
    constexpr std::string_view key = "\nUmask:";
    const auto status = platform::procfs::readSmallFile("/proc/self/status");
    const auto at = status ? status->find(key) : std::string::npos;
    if (at == std::string::npos) return 0600;
    return 0666 & ~static_cast<mode_t>(std::strtoul(status->c_str() + at + key.size(), nullptr, 8));
}

}  // namespace

ConnectionsPresenter::ConnectionsPresenter(AppState& state, QSettings& settings, DesktopServices& desktop,
                                           QObject* parent)
    : QObject(parent), state_(state), settings_(settings), desktop_(desktop) {
    // The model announces new records before it announces the change.
    connect(&state_, &AppState::recordsChanged, this, &ConnectionsPresenter::applyFilter);
    connect(&state_, &AppState::changed, this, &ConnectionsPresenter::changed);
    applyFilter();
}

void ConnectionsPresenter::setSearchText(const QString& text) {
    if (text == searchText_) return;
    searchText_ = text;
    filter_.searchText = text.toStdString();
    applyFilter();
    emit changed();
}

void ConnectionsPresenter::setStatusFilter(std::optional<ConnectionStatus> status) {
    if (status == filter_.status) return;
    filter_.status = status;
    applyFilter();
    emit changed();
}

bool ConnectionsPresenter::isGrouped() const { return settings_.value(kGroupedKey, true).toBool(); }

void ConnectionsPresenter::setGrouped(bool grouped) {
    if (grouped == isGrouped()) return;
    settings_.setValue(kGroupedKey, grouped);
    emit changed();
}

bool ConnectionsPresenter::showsChart() const { return settings_.value(kShowChartKey, true).toBool(); }

void ConnectionsPresenter::setShowsChart(bool shown) {
    if (shown == showsChart()) return;
    settings_.setValue(kShowChartKey, shown);
    emit changed();
}

void ConnectionsPresenter::applyFilter() { filtered_ = filter_.apply(state_.records()); }

std::vector<ConnectionGroup> ConnectionsPresenter::groups() const {
    return ConnectionGrouping::byApplication(filtered_);
}

ConnectionsPresenter::Content ConnectionsPresenter::content() const {
    if (state_.records().empty()) return Content::emptyState;
    return isGrouped() ? Content::groups : Content::table;
}

bool ConnectionsPresenter::showsChartArea() const { return showsChart() && !state_.throughput().empty(); }

bool ConnectionsPresenter::showsNoMatchOverlay() const {
    return !state_.records().empty() && filtered_.empty();
}

QString ConnectionsPresenter::emptyStateHint() const {
    const ExtensionManager& manager = state_.extensionManager();
    if (manager.engineStatus().kind == EngineStatus::Kind::running) return {};
    if (manager.extensionStatus().kind == ExtensionStatus::Kind::unknown) {
        return "Install the tunnel service on the Settings page to begin routing traffic through your rules.";
    }
    return "Start the engine to begin routing traffic through your rules.";
}

QString ConnectionsPresenter::filterTitle() const {
    return filter_.status ? ConnectionTexts::statusTitle(*filter_.status) : QStringLiteral("All");
}

bool ConnectionsPresenter::canExport() const { return !filtered_.empty(); }

void ConnectionsPresenter::setPolling(bool on) {
    if (on == isPolling()) return;
    poll_ = on ? state_.pollRecords() : nullptr;
}

void ConnectionsPresenter::exportCSV() {
    if (!canExport()) return;
    const std::string text = AppState::connectionsCSV(filtered_);
    const std::optional<QString> path =
        desktop_.chooseSaveLocation("Corvane-connections.csv", {"CSV files (*.csv)", "Text files (*.txt)"});
    if (!path) return;
    try {
        AtomicFile::write(path->toStdString(), {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                          newFileMode());
    } catch (const AtomicFile::WriteError& e) {
        state_.setLastError(std::string("Export failed: ") + e.what());
    }
}

}  // namespace corvane::app
