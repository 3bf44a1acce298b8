#pragma once

#include "RowDelegate.hpp"

namespace corvane::app {

// Paints a rule's row: the mini switch, the name over the summary, and the
// action on the right. A click on the switch flips that row's rule.
class RuleRowDelegate : public RowDelegate {
    Q_OBJECT

public:
    using RowDelegate::RowDelegate;

    static QRect switchRect(const QRect& row);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    void switchToggled(int row, bool enabled);
};

}  // namespace corvane::app
