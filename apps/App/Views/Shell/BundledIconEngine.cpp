#include "BundledIconEngine.hpp"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

namespace corvane::app {

BundledIconEngine::BundledIconEngine(QByteArray svg, std::optional<QColor> colour)
    : svg_(std::move(svg)), colour_(std::move(colour)) {}

QColor BundledIconEngine::colourFor(QIcon::Mode mode) const {
    const QPalette palette = QGuiApplication::palette();
    QColor colour = colour_.value_or(palette.color(mode == QIcon::Selected ? QPalette::HighlightedText
                                                                            : QPalette::WindowText));
    if (mode == QIcon::Disabled) colour.setAlphaF(0.35f);
    return colour;
}

void BundledIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) {
    QByteArray drawing = svg_;
    const QColor colour = colourFor(mode);
    drawing.replace("currentColor", colour.name(QColor::HexRgb).toLatin1());
    QSvgRenderer renderer(drawing);
    painter->save();
    painter->setOpacity(painter->opacity() * colour.alphaF());
    renderer.render(painter, rect);
    painter->restore();
}

QPixmap BundledIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return scaledPixmap(size, mode, state, 1.0);
}

QPixmap BundledIconEngine::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) {
    QPixmap pixmap(size * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
}

QIconEngine* BundledIconEngine::clone() const { return new BundledIconEngine(svg_, colour_); }

}  // namespace corvane::app
