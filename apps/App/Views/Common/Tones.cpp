#include "Tones.hpp"

#include <algorithm>
#include <cmath>

namespace corvane::app::Tones {

namespace {

// The relative luminance of a colour on the sRGB screen.
double luminance(const QColor& colour) {
    const auto linear = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

}  // namespace

QColor secondaryText(const QPalette& palette) { return faded(palette.color(QPalette::WindowText), 0.6); }

QColor tertiaryText(const QPalette& palette) { return faded(palette.color(QPalette::WindowText), 0.35); }

QColor blue() { return QColor(0x0a, 0x7a, 0xff); }
QColor green() { return QColor(0x28, 0xa7, 0x45); }
QColor orange() { return QColor(0xf0, 0x8c, 0x00); }
QColor red() { return QColor(0xe5, 0x39, 0x35); }
QColor yellow() { return QColor(0xe0, 0xb0, 0x00); }
QColor purple() { return QColor(0xa0, 0x50, 0xd8); }
QColor teal() { return QColor(0x20, 0xa4, 0xb8); }
QColor grey() { return QColor(0x8e, 0x8e, 0x93); }

QColor status(ConnectionStatus status) {
    switch (status) {
        case ConnectionStatus::active: return green();
        case ConnectionStatus::closed: return grey();
        case ConnectionStatus::failed: return orange();
        case ConnectionStatus::blocked: return red();
    }
    return grey();
}

QColor action(RuleAction::Kind kind) {
    switch (kind) {
        case RuleAction::Kind::proxy: return green();
        case RuleAction::Kind::chain: return purple();
        case RuleAction::Kind::failover: return teal();
        case RuleAction::Kind::direct: return blue();
        case RuleAction::Kind::block: return red();
    }
    return blue();
}

QColor faded(QColor colour, double opacity) {
    colour.setAlphaF(static_cast<float>(colour.alphaF() * opacity));
    return colour;
}

double contrast(const QColor& one, const QColor& other) {
    const double a = luminance(one) + 0.05;
    const double b = luminance(other) + 0.05;
    return std::max(a, b) / std::min(a, b);
}

QColor readableBehind(const QColor& text, const QColor& background, double ratio) {
    const bool darken = luminance(text) > luminance(background);
    const QColor hsl = background.toHsl();
    // One step of lightness at a time, each shade as the screen shows it
    // (8 bits a channel): the first that reads is the nearest to the desktop's own.
    QColor shade = QColor::fromRgba(background.rgba());
    for (int lightness = hsl.lightness(); contrast(text, shade) < ratio && lightness != (darken ? 0 : 255);) {
        lightness += darken ? -1 : 1;
        shade = QColor::fromRgba(QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness, hsl.alpha()).rgba());
    }
    return shade;
}

}  // namespace corvane::app::Tones
