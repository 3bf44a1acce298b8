#include "Tones.hpp"

#include <algorithm>
#include <cmath>

namespace corvane::app::Tones {

namespace {

// How far a style's panel may shade a background towards the text on it: a
// group box's frame darkens the window by about 1 %.
constexpr double kPanelShade = 0.03;

// The relative luminance of a colour on the sRGB screen.
double luminance(const QColor& colour) {
    const auto linear = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

// `colour` one step of lightness at a time towards black or white, its hue
// and saturation kept, each shade as the screen shows it (8 bits a channel),
// until `reads` takes it: the first that does is the nearest to `colour`.
template <typename Reads>
QColor shaded(const QColor& colour, bool darken, const Reads& reads) {
    const QColor hsl = colour.toHsl();
    QColor shade = QColor::fromRgba(colour.rgba());
    for (int lightness = hsl.lightness(); !reads(shade) && lightness != (darken ? 0 : 255);) {
        lightness += darken ? -1 : 1;
        shade = QColor::fromRgba(QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness, hsl.alpha()).rgba());
    }
    return shade;
}

QColor mixed(const QColor& colour, const QColor& other, double share) {
    const auto channel = [share](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * share)); };
    return QColor(channel(colour.red(), other.red()), channel(colour.green(), other.green()),
                  channel(colour.blue(), other.blue()));
}

// A text of lower emphasis: the palette's text colour at `opacity` on its
// window, made readable where it is not.
QColor lowered(const QPalette& palette, double opacity) {
    return readable(over(faded(palette.color(QPalette::WindowText), opacity), palette.color(QPalette::Window)),
                    palette);
}

}  // namespace

QColor secondaryText(const QPalette& palette) { return lowered(palette, 0.6); }

QColor tertiaryText(const QPalette& palette) { return lowered(palette, 0.35); }

QColor faint(const QPalette& palette) { return faded(palette.color(QPalette::WindowText), 0.35); }

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

QColor over(const QColor& colour, const QColor& background) {
    return mixed(background, QColor(colour.red(), colour.green(), colour.blue()), colour.alphaF());
}

double contrast(const QColor& one, const QColor& other) {
    const double a = luminance(one) + 0.05;
    const double b = luminance(other) + 0.05;
    return std::max(a, b) / std::min(a, b);
}

QColor readable(const QColor& colour, std::initializer_list<QColor> backgrounds, double ratio) {
    const auto worst = [&](const QColor& text) {
        double least = 21;
        for (const QColor& background : backgrounds) least = std::min(least, contrast(text, background));
        return least;
    };
    // Towards whichever of black and white stands out more from them all.
    const bool darken = worst(Qt::black) >= worst(Qt::white);
    const QColor towards = darken ? Qt::black : Qt::white;
    return shaded(colour, darken, [&](const QColor& shade) {
        return std::all_of(backgrounds.begin(), backgrounds.end(), [&](const QColor& background) {
            return contrast(shade, mixed(background, towards, kPanelShade)) >= ratio;
        });
    });
}

QColor readable(const QColor& colour, const QPalette& palette, double ratio) {
    return readable(colour,
                    {palette.color(QPalette::Window), palette.color(QPalette::Base),
                     palette.color(QPalette::AlternateBase)},
                    ratio);
}

QColor readableBehind(const QColor& text, const QColor& background, double ratio) {
    const bool darken = luminance(text) > luminance(background);
    return shaded(background, darken, [&](const QColor& shade) { return contrast(text, shade) >= ratio; });
}

}  // namespace corvane::app::Tones
