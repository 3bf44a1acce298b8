#pragma once

#include "RowDelegate.hpp"

namespace corvane::app {

// Paints one hop of the chain editor: its number, the proxy's name, its role,
// and the remove button, whose click asks to remove that proxy.
class HopRowDelegate : public RowDelegate {
    Q_OBJECT

public:
    enum Role { NumberRole = Qt::UserRole + 1, RoleTextRole };

    using RowDelegate::RowDelegate;

    static QRect removeRect(const QRect& row);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    void removeClicked(int row);
};

}  // namespace corvane::app
