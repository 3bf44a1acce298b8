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
        // Fields draw their placeholder on the base colour, or on the window
        // when they have no face of their own.
        const QColor placeholder = palette.color(group, QPalette::PlaceholderText);
        palette.setColor(group, QPalette::PlaceholderText,
                         Tones::readable(Tones::over(placeholder, palette.color(group, QPalette::Base)),
                                         {palette.color(group, QPalette::Base), palette.color(group, QPalette::Window)}));
    }
}

namespace {

QPalette::ColorGroup groupOf(const QStyleOption& option) {
    if (!(option.state & QStyle::State_Enabled)) return QPalette::Disabled;
    return option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
}

// The outline of a radio button or check box: the selection colour when it is
// chosen or has the keyboard's focus (then twice as thick), else the text colour
// at 60 %, which stands out from the window colour.
QPen outlineOf(const QStyleOption& option, bool chosen) {
    const QPalette::ColorGroup group = groupOf(option);
    const bool focused = (option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_KeyboardFocusChange);
    const QColor colour = chosen || focused ? option.palette.color(group, QPalette::Highlight)
                                            : Tones::faded(option.palette.color(group, QPalette::WindowText), 0.6);
    return QPen(colour, focused && !chosen ? 2.0 : 1.0);
}

// The square of an indicator, centred in its rectangle, a pixel in.
QRectF indicatorSquare(const QStyleOption& option) {
    const qreal side = std::min(option.rect.width(), option.rect.height()) - 1.0;
    return QRectF(QPointF(option.rect.center()) - QPointF(side / 2 - 0.5, side / 2 - 0.5), QSizeF(side, side));
}

// Whether a chosen indicator has the keyboard's focus: it then wears a ring in
// the text colour outside it, its own outline being the selection colour.
bool hasChosenFocus(const QStyleOption& option, bool chosen) {
    return chosen && (option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_KeyboardFocusChange);
}

}  // namespace

void AppStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
    if (element == PE_IndicatorRadioButton) return drawRadioIndicator(*option, *painter);
    if (element == PE_IndicatorCheckBox) return drawCheckIndicator(*option, *painter);
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
    const QRectF circle = indicatorSquare(option);
    const bool chosen = option.state & State_On;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(outlineOf(option, chosen));
    painter.setBrush(option.palette.color(group, chosen ? QPalette::Highlight : QPalette::Base));
    painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
    if (chosen) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(option.palette.color(group, QPalette::HighlightedText));
        const qreal dot = circle.width() * 0.2;
        painter.drawEllipse(circle.center(), dot, dot);
    }
    if (hasChosenFocus(option, chosen)) {
        painter.setPen(QPen(option.palette.color(group, QPalette::WindowText), 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(circle.adjusted(-1.5, -1.5, 1.5, 1.5));
    }
    painter.restore();
}

void AppStyle::drawCheckIndicator(const QStyleOption& option, QPainter& painter) {
    const QPalette::ColorGroup group = groupOf(option);
    const QRectF square = indicatorSquare(option);
    const bool partly = option.state & State_NoChange;
    const bool chosen = (option.state & State_On) || partly;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(outlineOf(option, chosen));
    painter.setBrush(option.palette.color(group, chosen ? QPalette::Highlight : QPalette::Base));
    painter.drawRoundedRect(square.adjusted(0.5, 0.5, -0.5, -0.5), 2.5, 2.5);
    if (chosen) {
        // A tick, or a dash for a box partly chosen.
        QPen mark(option.palette.color(group, QPalette::HighlightedText), square.width() / 7.0, Qt::SolidLine,
                  Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(mark);
        const auto at = [&](qreal x, qreal y) {
            return square.topLeft() + QPointF(x * square.width(), y * square.height());
        };
        if (partly) {
            painter.drawLine(at(0.28, 0.5), at(0.72, 0.5));
        } else {
            painter.drawPolyline(QPolygonF{at(0.27, 0.52), at(0.43, 0.68), at(0.74, 0.34)});
        }
    }
    if (hasChosenFocus(option, chosen)) {
        painter.setPen(QPen(option.palette.color(group, QPalette::WindowText), 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(square.adjusted(-1.5, -1.5, 1.5, 1.5), 3.5, 3.5);
    }
    painter.restore();
}

}  // namespace corvane::app
