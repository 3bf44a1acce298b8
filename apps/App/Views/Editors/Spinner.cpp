#include "Spinner.hpp"

#include <algorithm>

#include <QPainter>

#include "Views/Common/Tones.hpp"

namespace corvane::app {

namespace {

constexpr int kStepDegrees = 30;
constexpr int kIntervalMilliseconds = 80;

}  // namespace

Spinner::Spinner(int diameter, QWidget* parent) : QWidget(parent), diameter_(diameter) {
    setFixedSize(diameter, diameter);
    timer_.setInterval(kIntervalMilliseconds);
    connect(&timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + kStepDegrees) % 360;
        update();
    });
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal width = std::max(1.5, diameter_ / 8.0);
    const QRectF circle = QRectF(rect()).adjusted(width, width, -width, -width);
    QPen track(Tones::faint(palette()), width);
    painter.setPen(track);
    painter.drawEllipse(circle);
    QPen arc(Tones::secondaryText(palette()), width, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(arc);
    painter.drawArc(circle, -angle_ * 16, 100 * 16);
}

void Spinner::showEvent(QShowEvent*) { timer_.start(); }
void Spinner::hideEvent(QHideEvent*) { timer_.stop(); }

}  // namespace corvane::app
