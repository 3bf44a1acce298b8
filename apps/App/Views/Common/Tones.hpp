#pragma once

#include <initializer_list>

#include <QColor>
#include <QPalette>

#include "CorvaneCore/Logging/ConnectionStatus.hpp"
#include "CorvaneCore/Models/RuleAction.hpp"

// The colours the pages give meaning to: text of lower emphasis, the hues of
// connection statuses and rule actions, and the shades of them that read as
// text on a given background.
namespace corvane::app::Tones {

// The least contrast a text keeps against what it is painted on.
inline constexpr double kTextContrast = 4.5;

// Text of lower emphasis, readable on the palette's window, base and alternate base.
QColor secondaryText(const QPalette& palette);
// The faintest text (hints, notes), still readable there.
QColor tertiaryText(const QPalette& palette);
// Lines, outlines and symbols that only decorate; never text.
QColor faint(const QPalette& palette);

QColor blue();
QColor green();
QColor orange();
QColor red();
QColor yellow();
QColor purple();
QColor teal();
QColor grey();

// Active green, closed grey, failed orange, blocked red.
QColor status(ConnectionStatus status);
// Proxy green, chain purple, failover teal, direct blue, block red.
QColor action(RuleAction::Kind kind);

// `colour` at `opacity`.
QColor faded(QColor colour, double opacity);
// `colour` painted over the opaque `background`, by its opacity.
QColor over(const QColor& colour, const QColor& background);

// The contrast ratio of two opaque colours, from 1 (alike) to 21 (black and white).
double contrast(const QColor& one, const QColor& other);
// `colour` made darker on light backgrounds or lighter on dark ones, its hue
// kept, until it reaches `ratio` against each of `backgrounds` (and against
// the faint panels a style lays over them); unchanged when it already does.
QColor readable(const QColor& colour, std::initializer_list<QColor> backgrounds, double ratio = kTextContrast);
// The same against the palette's window, base and alternate base.
QColor readable(const QColor& colour, const QPalette& palette, double ratio = kTextContrast);
// `background` made darker or lighter, its hue kept, until `text` on it
// reaches `ratio`; unchanged when it already does.
QColor readableBehind(const QColor& text, const QColor& background, double ratio);

}  // namespace corvane::app::Tones
