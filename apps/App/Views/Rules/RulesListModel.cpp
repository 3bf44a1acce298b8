#include "RulesListModel.hpp"

#include "Views/Common/ViewStyle.hpp"

namespace corvane::app {

void RulesListModel::setRows(std::vector<RulesPresenter::Row> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int RulesListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant RulesListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const RulesPresenter::Row& rule = row(index.row());
    switch (role) {
        case Qt::DisplayRole: return ViewStyle::text(rule.name);
        case SummaryRole: return ViewStyle::text(rule.summary);
        case ActionRole: return ViewStyle::text(rule.actionLabel);
        case EnabledRole: return rule.isEnabled;
        default: return {};
    }
}

Qt::ItemFlags RulesListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

}  // namespace corvane::app
