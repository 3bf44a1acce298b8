#include "HopRowDelegate.hpp"

#include <QPainter>

#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

constexpr int kMargin = 10;
constexpr int kSpacing = 10;
constexpr int kNumberWidth = 18;
constexpr int kButton = 16;

}  // namespace

QRect HopRowDelegate::removeRect(const QRect& row) {
    return {row.right() - kMargin - kButton, row.center().y() - kButton / 2, kButton, kButton};
}

void HopRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    paintBackground(painter, option, index);

    const bool selected = option.state & QStyle::State_Selected;
    const auto [primary, secondary, tertiary] = colours(option);
    const QRect row = option.rect;
    const QFont callout = Fonts::callout(option.font);

    painter->save();
    const QRect remove = removeRect(row);
    IconRegistry::icon("minus.circle").paint(painter, remove, Qt::AlignCenter,
                                             selected ? QIcon::Selected : QIcon::Normal);
    const QString role = index.data(RoleTextRole).toString();
    const int roleWidth = QFontMetrics(callout).horizontalAdvance(role);
    const QRect roleRect(remove.left() - kSpacing - roleWidth, row.top(), roleWidth, row.height());
    painter->setFont(callout);
    painter->setPen(tertiary);
    painter->drawText(roleRect, Qt::AlignVCenter | Qt::AlignRight, role);
    painter->setPen(secondary);
    const QRect number(row.left() + kMargin, row.top(), kNumberWidth, row.height());
    painter->drawText(number, Qt::AlignCenter, index.data(NumberRole).toString());
    const int left = number.right() + 1 + kSpacing;
    const int width = std::max(0, roleRect.left() - kSpacing - left);
    painter->setFont(option.font);
    painter->setPen(primary);
    painter->drawText(QRect(left, row.top(), width, row.height()), Qt::AlignVCenter | Qt::AlignLeft,
                      QFontMetrics(option.font).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight,
                                                           width));
    painter->restore();
}

QSize HopRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), QFontMetrics(option.font).height() + 16};
}

bool HopRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) {
    if (isClickIn(event, removeRect(option.rect))) {
        emit removeClicked(index.row());
        return true;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

}  // namespace corvane::app
