#include "ConnectionTableModel.hpp"

#include "Presenters/Connections/ConnectionTexts.hpp"
#include "Presenters/FormatBytes.hpp"
#include "Views/Common/DateTexts.hpp"

namespace corvane::app {

namespace {

QString cellText(const ConnectionRecord& record, int column) {
    switch (column) {
        case ConnectionTableModel::time: return DateTexts::timeOfDay(record.startedAt);
        case ConnectionTableModel::application: return QString::fromStdString(record.appIdentifier);
        case ConnectionTableModel::target: return QString::fromStdString(record.target);
        case ConnectionTableModel::rule: return ConnectionTexts::ruleName(record);
        case ConnectionTableModel::action: return QString::fromStdString(record.actionDescription);
        case ConnectionTableModel::sent: return formatBytes(record.bytesSent);
        case ConnectionTableModel::received: return formatBytes(record.bytesReceived);
        case ConnectionTableModel::status: return ConnectionTexts::statusTitle(record.status);
    }
    return {};
}

}  // namespace

void ConnectionTableModel::setRecords(const std::vector<ConnectionRecord>& records) {
    const auto take = [&](int row) { return records[static_cast<std::size_t>(row)]; };
    for (const ListChange& change : listChanges(idsOf(records_), idsOf(records))) {
        applyChange(change, {}, records_, take);
    }
    records_ = records;
    if (!records_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int ConnectionTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int ConnectionTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant ConnectionTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ConnectionRecord& shown = record(index.row());
    switch (role) {
        case Qt::DisplayRole: return cellText(shown, index.column());
        case Qt::ToolTipRole:
            return index.column() == application || index.column() == target ? cellText(shown, index.column())
                                                                               : QVariant();
        case kStatusRole: return static_cast<int>(shown.status);
        case kSecondaryRole: return index.column() == rule;
        default: return {};
    }
}

QVariant ConnectionTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const titles[] = {"Time",   "Application", "Target",   "Rule",
                                         "Action", "Sent",        "Received", "Status"};
    return section >= 0 && section < kColumns ? QString(titles[section]) : QVariant();
}

}  // namespace corvane::app
