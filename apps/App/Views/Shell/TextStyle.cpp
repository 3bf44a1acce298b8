#include "TextStyle.hpp"

namespace corvane::app::TextStyle {

namespace {

QColor faded(const QPalette& palette, float alpha) {
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(alpha);
    return colour;
}

}  // namespace

QColor secondary(const QPalette& palette) { return faded(palette, 0.6f); }

QColor tertiary(const QPalette& palette) { return faded(palette, 0.3f); }

QFont callout(const QFont& body) {
    QFont font = body;
    font.setPointSizeF(body.pointSizeF() * 12.0 / 13.0);
    return font;
}

}  // namespace corvane::app::TextStyle
