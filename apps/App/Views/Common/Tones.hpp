#pragma once

#include <QColor>
#include <QPalette>

#include "CorvaneCore/Logging/ConnectionStatus.hpp"
#include "CorvaneCore/Models/RuleAction.hpp"

// The colours the pages give meaning to: text of lower emphasis, and the
// colours of connection statuses and rule actions.
namespace corvane::app::Tones {

QColor secondaryText(const QPalette& palette);
QColor tertiaryText(const QPalette& palette);

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

// The contrast ratio of two opaque colours, from 1 (alike) to 21 (black and white).
double contrast(const QColor& one, const QColor& other);
// `background` made darker or lighter, its hue kept, until `text` on it
// reaches `ratio`; unchanged when it already does.
QColor readableBehind(const QColor& text, const QColor& background, double ratio);

}  // namespace corvane::app::Tones
