#pragma once

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QRect>
#include <QStringList>

#include <optional>
#include <vector>

class QWidget;

namespace corvane::app::testing {

// The desktop palettes the looks are checked on: the light one the app gets
// where the desktop says nothing, and a dark one.
enum class Shade { light, dark };

inline const char* nameOf(Shade shade) { return shade == Shade::light ? "light" : "dark"; }

// While it lives, the application shows the desktop palette `shade`, handed to
// the app's style as Qt hands it a desktop theme's palette; afterwards the
// light one again.
class DesktopPalette {
public:
    explicit DesktopPalette(Shade shade);
    ~DesktopPalette();
    DesktopPalette(const DesktopPalette&) = delete;
    DesktopPalette& operator=(const DesktopPalette&) = delete;

    // A dark palette as a desktop's dark theme gives it.
    static QPalette dark();
};

// The WCAG contrast of `foreground`, blended onto `background` by its opacity.
double contrast(const QColor& foreground, const QColor& background);

// How much larger than on screen `rendered` paints: every glyph then has pixels
// of its full colour, whatever its antialiasing.
inline constexpr int kInkScale = 4;
// `widget` painted at kInkScale times its size.
QImage rendered(QWidget& widget);
// The colour most pixels of `area` (in the widget's coordinates) have.
QColor commonest(const QImage& image, const QRect& area);
// How many pixels of `area` reach `ratio` against `background`.
int pixelsReaching(const QImage& image, const QRect& area, const QColor& background, double ratio);
// The pieces of ink in `area` (connected pixels that stand out from
// `background`) whose strongest pixel stays under `ratio` against it:
// "3.31:1 (#8c8c8c on #2a6fa8) at 40,12". What lies in `leftOut` (controls
// that draw their own face, such as buttons) is no ink.
QStringList faintInk(const QImage& image, const QRect& area, const QColor& background, double ratio,
                     const std::vector<QRect>& leftOut = {});

// The tinted capsule of a badge in `area` (a row painted on `background`): the
// box of the commonest colour there that is a tint of the background rather
// than ink; none when no such colour covers a badge's worth of pixels.
std::optional<QRect> capsuleIn(const QImage& image, const QRect& area, const QColor& background);
// The inside of a capsule `box`, clear of its rounded ends and its edge.
QRect insideOf(const QRect& capsule);
// The ink of a row in `area` that stays under 4.5:1: its texts and marks
// against the row's colour, and the text of a badge on it against the
// badge's capsule. What lies in `leftOut` (controls, switches) is no ink.
QStringList unreadableInRow(const QImage& image, const QRect& area, const std::vector<QRect>& leftOut = {});
// The visible, enabled labels and badges under `root` (`image` is `root`
// rendered) whose text stays under 4.5:1 against what it is drawn on, and the
// empty text fields whose placeholder does.
QStringList unreadableTexts(const QWidget& root, const QImage& image);

}  // namespace corvane::app::testing
