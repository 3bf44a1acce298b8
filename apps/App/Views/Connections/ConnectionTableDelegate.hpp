#pragma once

#include <QStyledItemDelegate>

namespace corvane::app {

// The flat table's cells: the rule in the secondary colour, the application
// and the target shortened in the middle, and the status as its badge; on a
// selected row every text in the selected-text colour.
class ConnectionTableDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace corvane::app
