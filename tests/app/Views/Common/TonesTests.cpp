// The shades that read as text: a status colour made just dark or light
// enough for its background, its hue kept, and the lower-emphasis texts of a
// palette readable wherever the palette paints.
#include <gtest/gtest.h>

#include "Views/Common/Tones.hpp"
#include "Views/Support/Contrast.hpp"

namespace corvane::app::testing {
namespace {

QColor shade(int grey) { return QColor(grey, grey, grey); }

struct ReadableCase {
    const char* name;
    QColor colour;
    QColor background;
    bool darker;
};

TEST(TonesTest, AColourIsShadedJustEnoughToReadOnItsBackgroundWithItsHueKept) {
    const ReadableCase cases[] = {
        {"red on white", Tones::red(), Qt::white, true},
        {"orange on its capsule", Tones::orange(), QColor(0xfd, 0xee, 0xd9), true},
        {"green on a dark row", Tones::green(), QColor(0x26, 0x39, 0x2a), false},
        {"grey on its capsule on a dark row", Tones::grey(), QColor(0x35, 0x35, 0x36), false},
        {"blue on a dark window", Tones::blue(), shade(0x2d), false},
    };
    for (const ReadableCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LT(Tones::contrast(c.colour, c.background), Tones::kTextContrast);
        const QColor text = Tones::readable(c.colour, {c.background});
        EXPECT_GE(Tones::contrast(text, c.background), Tones::kTextContrast) << text.name().toStdString();
        EXPECT_EQ(text.lightness() < c.colour.lightness(), c.darker) << text.name().toStdString();
        EXPECT_NEAR(text.hslHue(), c.colour.hslHue(), 3) << "the hue stays recognisable";
        // No further than needed, with a small margin for the faint panels
        // styles lay over a background.
        EXPECT_LT(Tones::contrast(text, c.background), Tones::kTextContrast * 1.2);
    }
}

TEST(TonesTest, AReadableColourIsLeftAsItIsAndAnUnreachableRatioEndsAtBlackOrWhite) {
    EXPECT_EQ(Tones::readable(Qt::black, {Qt::white}), QColor(Qt::black));
    EXPECT_EQ(Tones::readable(QColor(0x20, 0x40, 0x90), {Qt::white}), QColor(0x20, 0x40, 0x90));
    EXPECT_EQ(Tones::readable(Tones::red(), {shade(0x80)}, 21), QColor(Qt::black));
    EXPECT_EQ(Tones::readable(Tones::red(), {shade(0x30)}, 21), QColor(Qt::white));
}

TEST(TonesTest, AColourForSeveralBackgroundsReadsOnEachOfThem) {
    const QColor text = Tones::readable(Tones::red(), {Qt::white, shade(0xef), shade(0xf7)});
    for (const QColor& background : {QColor(Qt::white), shade(0xef), shade(0xf7), shade(0xec)})
        EXPECT_GE(Tones::contrast(text, background), Tones::kTextContrast) << background.name().toStdString();
}

// A desktop palette whose own text is already grey: the lower-emphasis texts
// may not fade below what reads.
QPalette greyTextPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0xee, 0xe8, 0xd5));
    palette.setColor(QPalette::Base, QColor(0xfd, 0xf6, 0xe3));
    palette.setColor(QPalette::AlternateBase, QColor(0xf5, 0xef, 0xdc));
    palette.setColor(QPalette::WindowText, QColor(0x58, 0x6e, 0x75));
    palette.setColor(QPalette::Text, QColor(0x58, 0x6e, 0x75));
    return palette;
}

TEST(TonesTest, SecondaryAndTertiaryTextReadOnEveryBackgroundOfThePalette) {
    const std::pair<const char*, QPalette> palettes[] = {
        {"light", QPalette()}, {"dark", DesktopPalette::dark()}, {"grey text", greyTextPalette()}};
    for (const auto& [name, palette] : palettes) {
        SCOPED_TRACE(name);
        const QColor secondary = Tones::secondaryText(palette);
        const QColor tertiary = Tones::tertiaryText(palette);
        for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::AlternateBase}) {
            const QColor background = palette.color(role);
            EXPECT_GE(Tones::contrast(secondary, background), Tones::kTextContrast) << secondary.name().toStdString();
            EXPECT_GE(Tones::contrast(tertiary, background), Tones::kTextContrast) << tertiary.name().toStdString();
            EXPECT_LE(Tones::contrast(tertiary, background), Tones::contrast(secondary, background))
                << "the faintest text stands out no more than the secondary";
        }
    }
}

}  // namespace
}  // namespace corvane::app::testing
