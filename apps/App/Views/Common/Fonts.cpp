#include "Fonts.hpp"

#include <QFontDatabase>

namespace corvane::app::Fonts {

namespace {

QFont scaled(QFont font, double factor) {
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * factor);
    } else {
        font.setPixelSize(static_cast<int>(font.pixelSize() * factor));
    }
    return font;
}

QFont weighted(QFont font, QFont::Weight weight) {
    font.setWeight(weight);
    return font;
}

}  // namespace

QFont callout(QFont base) { return scaled(std::move(base), 0.92); }
QFont caption(QFont base) { return scaled(std::move(base), 0.82); }
QFont headline(QFont base) { return weighted(std::move(base), QFont::Bold); }
QFont medium(QFont base) { return weighted(std::move(base), QFont::Medium); }
QFont semibold(QFont base) { return weighted(std::move(base), QFont::DemiBold); }
QFont title(QFont base) { return weighted(scaled(std::move(base), 1.3), QFont::Bold); }

QFont monospacedCallout(QFont base) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFont size = callout(std::move(base));
    if (size.pointSizeF() > 0) font.setPointSizeF(size.pointSizeF());
    return font;
}

}  // namespace corvane::app::Fonts
