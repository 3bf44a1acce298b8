// Without an icon theme (as offscreen) every symbol shows our own drawing.
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

#include "Views/Shell/IconRegistry.hpp"

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

TEST(IconRegistry, ThemeNamesAreFreedesktopNamesWhereOneFits) {
    EXPECT_EQ(IconRegistry::themeName("play.fill"), QString("media-playback-start"));
    EXPECT_EQ(IconRegistry::themeName("arrow.triangle.branch"), std::nullopt);
}

}  // namespace
}  // namespace corvane::app::testing
