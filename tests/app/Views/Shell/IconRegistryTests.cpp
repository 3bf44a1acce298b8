// Without an icon theme (as offscreen) every symbol shows our own drawing; the
// app's own icon reads on light and dark panels at every size.
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <gtest/gtest.h>

#include "Views/Shell/IconRegistry.hpp"
#include "Views/Support/Contrast.hpp"
#include "Views/Support/Screenshot.hpp"

namespace corvane::app::testing {
namespace {

// Pixels the icon actually paints at 32×32.
int paintedPixels(const QIcon& icon) {
    const QImage image = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    int painted = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) painted += qAlpha(image.pixel(x, y)) > 64 ? 1 : 0;
    }
    return painted;
}

TEST(IconRegistry, EverySymbolPaintsItsBundledDrawingWithoutATheme) {
    for (const std::string_view symbol : IconRegistry::symbols()) {
        EXPECT_TRUE(IconRegistry::isBundled(symbol)) << symbol;
        EXPECT_GT(paintedPixels(IconRegistry::icon(symbol)), 20) << symbol;
    }
}

TEST(IconRegistry, AnUnknownSymbolGetsTheGenericIconAndATintKeepsItsColour) {
    EXPECT_FALSE(IconRegistry::isBundled("no.such.symbol"));
    EXPECT_EQ(paintedPixels(IconRegistry::icon("no.such.symbol")), paintedPixels(IconRegistry::icon("app.generic")));

    const QImage red = IconRegistry::tinted("stop.fill", QColor(255, 0, 0)).pixmap(32, 32).toImage();
    const QColor centre = red.pixelColor(16, 16);
    EXPECT_EQ(centre.red(), 255);
    EXPECT_EQ(centre.green(), 0);
}

// On light and dark panels, from 16 to 128 pixels: the badge stands out from
// the panel (3:1, as a control must), and its branch reads on the badge
// (4.5:1). A strip of every size on both panels is saved for review.
TEST(IconRegistry, TheAppIconReadsOnLightAndDarkPanelsAtEverySize) {
    const int sizes[] = {16, 22, 24, 32, 48, 64, 128};
    const QColor panels[] = {QColor(0xf0, 0xf0, 0xf0), Qt::white, QColor(0x20, 0x20, 0x20), Qt::black};
    QImage strip(8 + 7 * 16 + 16 + 22 + 24 + 32 + 48 + 64 + 128, 4 * 144, QImage::Format_RGB32);
    QPainter painter(&strip);
    for (int row = 0; row < 4; ++row) {
        const QColor& panel = panels[row];
        painter.fillRect(QRect(0, row * 144, strip.width(), 144), panel);
        int left = 8;
        for (const int size : sizes) {
            SCOPED_TRACE(panel.name().toStdString() + " at " + std::to_string(size));
            QImage shown(size, size, QImage::Format_RGB32);
            shown.fill(panel);
            QPainter(&shown).drawPixmap(0, 0, IconRegistry::appIcon().pixmap(size, size));
            // The badge's colour a little in from its left edge, halfway down.
            const QColor badge = shown.pixelColor(size / 8 + 1, size / 2);
            EXPECT_GE(contrast(badge, panel), 3.0) << "the badge hardly shows on the panel";
            int glyph = 0;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) glyph += contrast(shown.pixelColor(x, y), badge) >= 4.5;
            }
            EXPECT_GE(glyph, size * size / 20) << "the branch hardly shows on the badge";
            painter.drawImage(left, row * 144 + 8, shown);
            left += size + 16;
        }
    }
    painter.end();
    QLabel look;
    look.setPixmap(QPixmap::fromImage(strip));
    look.resize(strip.size());
    saveScreenshot(look, "app-icon-panels");
}

TEST(IconRegistry, ThemeNamesAreFreedesktopNamesWhereOneFits) {
    EXPECT_EQ(IconRegistry::themeName("play.fill"), QString("media-playback-start"));
    EXPECT_EQ(IconRegistry::themeName("arrow.triangle.branch"), std::nullopt);
}

}  // namespace
}  // namespace corvane::app::testing
