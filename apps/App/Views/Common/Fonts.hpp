#pragma once

#include <QFont>

// The text styles the pages use, made from the widget's own font: callout and
// caption a little smaller, headline and medium heavier.
namespace corvane::app::Fonts {

QFont callout(QFont base);
QFont caption(QFont base);
QFont headline(QFont base);
QFont medium(QFont base);
QFont semibold(QFont base);
QFont title(QFont base);
QFont monospacedCallout(QFont base);

}  // namespace corvane::app::Fonts
