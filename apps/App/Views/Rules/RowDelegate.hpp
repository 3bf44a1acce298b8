#pragma once

#include <QStyledItemDelegate>

namespace corvane::app {

// What the editors' painted list rows share: the style's row background
// (selection, focus) without its text, the text colours for a selected or
// plain row, and a left click released on one of the row's buttons.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    struct Colours {
        QColor primary;
        QColor secondary;
        QColor tertiary;
    };

    void paintBackground(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // On a selected row every text takes the highlighted text colour.
    static Colours colours(const QStyleOptionViewItem& option);
    static bool isClickIn(const QEvent* event, const QRect& button);
};

}  // namespace corvane::app
