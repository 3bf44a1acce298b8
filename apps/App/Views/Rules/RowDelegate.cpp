#include "RowDelegate.hpp"

#include <QMouseEvent>

#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"

namespace corvane::app {

void RowDelegate::paintBackground(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    ViewStyle::paintRowBackground(*painter, background);
}

RowDelegate::Colours RowDelegate::colours(const QStyleOptionViewItem& option) {
    const QPalette& palette = option.palette;
    if (option.state & QStyle::State_Selected) {
        const QColor text = palette.color(QPalette::HighlightedText);
        return {text, text, text};
    }
    return {palette.color(QPalette::Text), Tones::secondaryText(palette), Tones::tertiaryText(palette)};
}

bool RowDelegate::isClickIn(const QEvent* event, const QRect& button) {
    if (event->type() != QEvent::MouseButtonRelease) return false;
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    return mouse->button() == Qt::LeftButton && button.contains(mouse->position().toPoint());
}

}  // namespace corvane::app
