#pragma once

#include <vector>

#include <QAbstractTableModel>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "Views/Connections/ListChangeModel.hpp"

namespace corvane::app {

// The flat table of the Connections page: one row per record, updated in place
// so the view keeps its scroll position across polls.
class ConnectionTableModel : public ListChangeModel<QAbstractTableModel> {
    Q_OBJECT

public:
    enum Column { time, application, target, rule, action, sent, received, status };
    static constexpr int kColumns = 8;
    // The record's ConnectionStatus, for the status badge.
    static constexpr int kStatusRole = Qt::UserRole + 1;
    static constexpr int kSecondaryRole = Qt::UserRole + 2;

    using ListChangeModel::ListChangeModel;

    void setRecords(const std::vector<ConnectionRecord>& records);
    const ConnectionRecord& record(int row) const { return records_[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<ConnectionRecord> records_;
};

}  // namespace corvane::app
