#include "AppStyle.hpp"

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

#include "Tones.hpp"

namespace corvane::app {

void AppStyle::install() {
    QStyle* desktops = QStyleFactory::create(QApplication::style()->name());
    QApplication::setStyle(new AppStyle(desktops));
}

void AppStyle::polish(QPalette& palette) {
    QProxyStyle::polish(palette);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Highlight,
                         Tones::readableBehind(palette.color(group, QPalette::HighlightedText),
                                               palette.color(group, QPalette::Highlight), kSelectionContrast));
    }
}

namespace {

QPalette::ColorGroup groupOf(const QStyleOption& option) {
    if (!(option.state & QStyle::State_Enabled)) return QPalette::Disabled;
    return option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
}

}  // namespace

void AppStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
    if (element == PE_IndicatorRadioButton) return drawRadioIndicator(*option, *painter);
    if (element == PE_FrameFocusRect && qobject_cast<const QAbstractItemView*>(widget) != nullptr)
        return drawRowFocus(*option, *painter);
    if (element == PE_IndicatorBranch && (option->state & State_Children) && (option->state & State_Selected))
        return drawSelectedBranch(*option, *painter);
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

QRect AppStyle::subElementRect(SubElement element, const QStyleOption* option, const QWidget* widget) const {
    // The focus ring goes round the whole row, not only its text.
    if (element == SE_ItemViewItemFocusRect) return option->rect;
    return QProxyStyle::subElementRect(element, option, widget);
}

void AppStyle::drawRowFocus(const QStyleOption& option, QPainter& painter) {
    // As the desktop's own ring, shown once the keyboard moves the focus.
    if (!(option.state & State_KeyboardFocusChange)) return;
    const QPalette::ColorGroup group = groupOf(option);
    const QColor selection = option.palette.color(group, QPalette::Highlight);
    const auto* focus = qstyleoption_cast<const QStyleOptionFocusRect*>(&option);
    const bool onSelection = focus != nullptr && focus->backgroundColor == selection;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(onSelection ? option.palette.color(group, QPalette::HighlightedText) : selection, 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(option.rect).adjusted(2, 2, -2, -2), 3, 3);
    painter.restore();
}

void AppStyle::drawSelectedBranch(const QStyleOption& option, QPainter& painter) {
    // A solid triangle, pointing down when open, else towards the row's text.
    constexpr qreal kHalf = 3.5;
    const QPointF centre = QRectF(option.rect).center();
    QPolygonF mark;
    if (option.state & State_Open) {
        mark << centre + QPointF(-kHalf, -kHalf / 2) << centre + QPointF(kHalf, -kHalf / 2)
             << centre + QPointF(0, kHalf / 2 + 1);
    } else {
        const qreal towards = option.direction == Qt::RightToLeft ? -1 : 1;
        mark << centre + QPointF(-towards * kHalf / 2, -kHalf) << centre + QPointF(-towards * kHalf / 2, kHalf)
             << centre + QPointF(towards * (kHalf / 2 + 1), 0);
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(option.palette.color(groupOf(option), QPalette::HighlightedText));
    painter.drawPolygon(mark);
    painter.restore();
}

void AppStyle::drawRadioIndicator(const QStyleOption& option, QPainter& painter) {
    const QPalette::ColorGroup group = groupOf(option);
    const QPalette& palette = option.palette;
    const qreal diameter = std::min(option.rect.width(), option.rect.height()) - 1.0;
    const QRectF circle(QPointF(option.rect.center()) - QPointF(diameter / 2 - 0.5, diameter / 2 - 0.5),
                        QSizeF(diameter, diameter));
    const bool chosen = option.state & State_On;
    const bool focused = (option.state & State_HasFocus) && (option.state & State_KeyboardFocusChange);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ring = chosen || focused ? palette.color(group, QPalette::Highlight)
                                          : Tones::faded(palette.color(group, QPalette::WindowText), 0.6);
    painter.setPen(QPen(ring, focused && !chosen ? 2.0 : 1.0));
    painter.setBrush(chosen ? palette.color(group, QPalette::Highlight) : palette.color(group, QPalette::Base));
    painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
    if (chosen) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette.color(group, QPalette::HighlightedText));
        const qreal dot = diameter * 0.2;
        painter.drawEllipse(circle.center(), dot, dot);
    }
    if (focused && chosen) {
        painter.setPen(QPen(palette.color(group, QPalette::WindowText), 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(circle.adjusted(-1.5, -1.5, 1.5, 1.5));
    }
    painter.restore();
}

}  // namespace corvane::app
