#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <string_view>

// The few text styles the views share: secondary and tertiary foreground, the
// callout font, and UTF-8 views as QString.
namespace corvane::app::TextStyle {

// The palette's text colour, faded: secondary for supporting text, tertiary
// for large placeholder symbols.
QColor secondary(const QPalette& palette);
QColor tertiary(const QPalette& palette);
// A little smaller than the body font.
QFont callout(const QFont& body);

inline QString qstring(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace corvane::app::TextStyle
