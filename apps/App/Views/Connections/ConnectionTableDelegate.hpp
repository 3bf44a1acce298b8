#pragma once

#include <QStyledItemDelegate>

namespace corvane::app {

// The flat table's cells: the rule in the secondary colour and the status as
// its badge.
class ConnectionTableDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace corvane::app
