#include "EditorStyle.hpp"

#include <QFrame>
#include <QLabel>

namespace corvane::app::EditorStyle {

namespace {

QColor faded(const QPalette& palette, float opacity) {
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(opacity);
    return colour;
}

}  // namespace

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

QFont callout(QFont font) {
    font.setPointSizeF(font.pointSizeF() * 0.92);
    return font;
}

QFont medium(QFont font) {
    font.setWeight(QFont::Medium);
    return font;
}

QColor secondary(const QPalette& palette) { return faded(palette, 0.6f); }
QColor tertiary(const QPalette& palette) { return faded(palette, 0.38f); }
QColor red() { return QColor(0xd7, 0x30, 0x2a); }
QColor green() { return QColor(0x2f, 0xa8, 0x4f); }
QColor orange() { return QColor(0xe0, 0x7b, 0x00); }

QLabel* secondaryLabel(const QString& text, bool wrap) {
    auto* label = new QLabel(text);
    label->setFont(callout(label->font()));
    setColour(label, secondary(label->palette()));
    label->setWordWrap(wrap);
    return label;
}

QLabel* sectionHeader(const QString& text) {
    auto* label = secondaryLabel(text);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

void setColour(QLabel* label, const QColor& colour) {
    // Both roles: on a list's background a label draws with Text, elsewhere with WindowText.
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    label->setPalette(palette);
}

QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, tertiary(palette));
    line->setPalette(palette);
    return line;
}

}  // namespace corvane::app::EditorStyle
