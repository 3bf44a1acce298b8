#pragma once

#include <optional>

#include <QByteArray>
#include <QColor>
#include <QIconEngine>

namespace corvane::app {

// Paints one of the bundled SVG drawings at any size. The drawings use
// "currentColor"; it becomes the given colour, or, without one, the palette's
// text colour for the icon's mode (disabled, selected, normal).
class BundledIconEngine : public QIconEngine {
public:
    BundledIconEngine(QByteArray svg, std::optional<QColor> colour);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
    QIconEngine* clone() const override;
    QString key() const override { return "corvane-bundled"; }

private:
    QColor colourFor(QIcon::Mode mode) const;

    QByteArray svg_;
    std::optional<QColor> colour_;
};

}  // namespace corvane::app
