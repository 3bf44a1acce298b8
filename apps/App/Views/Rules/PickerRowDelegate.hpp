#pragma once

#include <QStyledItemDelegate>

namespace corvane::app {

// Paints the rows of the preset and application pickers: a check mark (the
// accent-coloured filled circle when selected, a faint circle otherwise), the
// row's icon, its title over a one-line subtitle; and the section headers.
class PickerRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    enum Role { SubtitleRole = Qt::UserRole + 1, CheckedRole, HeaderRole, ElideRole, IdRole };

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace corvane::app
