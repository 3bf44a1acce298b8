#include "ViewStyle.hpp"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolButton>

#include "Fonts.hpp"
#include "Tones.hpp"

namespace corvane::app::ViewStyle {

QString text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QLabel* secondaryLabel(const QString& text, bool wrap) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Fonts::callout(label->font()));
    setColour(label, Tones::secondaryText(label->palette()));
    label->setWordWrap(wrap);
    return label;
}

QLabel* sectionHeader(const QString& text) {
    auto* label = secondaryLabel(text);
    label->setFont(Fonts::semibold(label->font()));
    return label;
}

void setColour(QWidget* widget, const QColor& colour) {
    // Both roles: on a list's background a label draws with Text, elsewhere with WindowText.
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QColor rowBackground(const QStyleOptionViewItem& option) {
    if (option.backgroundBrush.style() == Qt::SolidPattern) return option.backgroundBrush.color();
    const bool alternate = option.features & QStyleOptionViewItem::Alternate;
    return option.palette.color(alternate ? QPalette::AlternateBase : QPalette::Base);
}

void paintRowBackground(QPainter& painter, QStyleOptionViewItem option) {
    option.text.clear();
    option.icon = {};
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &option, &painter, option.widget);
}

QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    setColour(line, Tones::faint(line->palette()));
    return line;
}

QScrollArea* scrolled(QWidget* content) {
    auto* scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Not a stop of its own: Tab goes to the controls inside, and the area
    // scrolls to show whichever has the focus.
    scroll->setFocusPolicy(Qt::NoFocus);
    return scroll;
}

void segmented(const QList<QToolButton*>& segments) {
    // The palette's own colours, taken where the segments are drawn, so they
    // follow the desktop's palette.
    const QString common =
        "QToolButton { padding: 3px 12px; border: 1px solid palette(mid); background: palette(button); "
        "color: palette(button-text); %1 }"
        "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text); "
        "border-color: palette(highlight); }"
        "QToolButton:focus { border: 2px solid palette(window-text); padding: 2px 11px; }";
    for (qsizetype at = 0; at < segments.size(); ++at) {
        QString corners;
        if (at == 0) corners += "border-top-left-radius: 5px; border-bottom-left-radius: 5px; ";
        if (at == segments.size() - 1) corners += "border-top-right-radius: 5px; border-bottom-right-radius: 5px; ";
        if (at > 0) corners += "margin-left: -1px; ";
        segments[at]->setStyleSheet(common.arg(corners));
    }
}

}  // namespace corvane::app::ViewStyle
