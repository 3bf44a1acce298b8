#include "Tones.hpp"

namespace corvane::app::Tones {

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

}  // namespace corvane::app::Tones
