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

}  // namespace corvane::app::Tones
