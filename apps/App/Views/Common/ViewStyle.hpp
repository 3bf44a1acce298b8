#pragma once

#include <string_view>

#include <QColor>
#include <QString>

#include <QList>

class QLabel;
class QFrame;
class QPainter;
class QScrollArea;
class QStyleOptionViewItem;
class QToolButton;
class QWidget;

// The small widgets every page and sheet builds alike: secondary labels,
// section headers, dividers, and UTF-8 text as QString. Colours come from
// Tones and fonts from Fonts, so they follow the desktop's palette.
namespace corvane::app::ViewStyle {

QString text(std::string_view utf8);

// A label in callout size and the secondary colour, wrapping when asked.
QLabel* secondaryLabel(const QString& text, bool wrap = false);
// The header of a list section: callout size, semibold, secondary colour.
QLabel* sectionHeader(const QString& text);
void setColour(QWidget* widget, const QColor& colour);
// The colour an item view paints the unselected row of `option` with.
QColor rowBackground(const QStyleOptionViewItem& option);
// What the style paints for the item of `option` (its background, selection
// and focus) without its text and icon, for a delegate that paints those
// itself; in the style of the option's widget, else the application's.
void paintRowBackground(QPainter& painter, QStyleOptionViewItem option);
// A one-pixel horizontal line between a sheet's parts.
QFrame* divider();
// A frameless area scrolling `content`, with its controls, vertically.
QScrollArea* scrolled(QWidget* content);
// Checkable buttons laid side by side as one segmented control: the chosen
// segment in the selection colour and the selected-text colour, the others
// as plain buttons, the one with the keyboard focus outlined.
void segmented(const QList<QToolButton*>& segments);

}  // namespace corvane::app::ViewStyle
