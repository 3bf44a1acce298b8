#pragma once

#include <string>

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

class QLabel;
class QFrame;

// The text styles of the editor pages and sheets: the callout size, medium
// weight, and the secondary and tertiary text colours (the text colour at a
// lower opacity, as the desktop's palette gives it).
namespace corvane::app::EditorStyle {

QString text(const std::string& utf8);

QFont callout(QFont font);
QFont medium(QFont font);
QColor secondary(const QPalette& palette);
QColor tertiary(const QPalette& palette);
// The system red, green and orange, readable on light and dark palettes.
QColor red();
QColor green();
QColor orange();

// A label in callout size and the secondary colour, wrapping when asked.
QLabel* secondaryLabel(const QString& text, bool wrap = false);
// The header of a list section: callout size, semibold, secondary colour.
QLabel* sectionHeader(const QString& text);
void setColour(QLabel* label, const QColor& colour);
// A one-pixel horizontal line between a sheet's content and its buttons.
QFrame* divider();

}  // namespace corvane::app::EditorStyle
