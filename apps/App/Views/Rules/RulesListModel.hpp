#pragma once

#include <vector>

#include <QAbstractListModel>

#include "Presenters/Rules/RulesPresenter.hpp"

namespace corvane::app {

// The rows of the Rules page, as the presenter gives them; rows can be dragged.
class RulesListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { SummaryRole = Qt::UserRole + 1, ActionRole, EnabledRole };

    using QAbstractListModel::QAbstractListModel;

    void setRows(std::vector<RulesPresenter::Row> rows);
    const RulesPresenter::Row& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

private:
    std::vector<RulesPresenter::Row> rows_;
};

}  // namespace corvane::app
