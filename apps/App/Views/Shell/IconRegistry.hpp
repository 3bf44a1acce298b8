#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include <QColor>
#include <QIcon>
#include <QString>

// The app's icons, asked for by their system symbol names ("gearshape",
// "arrow.triangle.branch", ...). Where the desktop's icon theme has an icon of a
// fitting freedesktop name, that one shows; otherwise our own drawing bundled
// with the app, painted in the palette's text colour. Main thread only.
namespace corvane::app::IconRegistry {

// The icon for `symbol`; an unknown symbol gives the bundled generic icon.
QIcon icon(std::string_view symbol);
// The app's own icon, for its windows and the tray: a blue badge with a white
// branch, readable on light and dark backgrounds alike (the desktop entry's
// icon, org.corvane.Corvane).
QIcon appIcon();
// Our bundled drawing of `symbol` in `colour`, for icons whose colour carries
// meaning (a red error mark, a green check) on every desktop.
QIcon tinted(std::string_view symbol, const QColor& colour);

// The freedesktop icon name tried for `symbol`, if one fits.
std::optional<QString> themeName(std::string_view symbol);
// Whether a drawing of `symbol` ships with the app.
bool isBundled(std::string_view symbol);
// Every symbol the registry knows.
std::vector<std::string_view> symbols();

}  // namespace corvane::app::IconRegistry
