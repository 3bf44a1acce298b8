#include "CapsuleLabel.hpp"

#include <QPainter>

#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"

namespace corvane::app {

CapsuleLabel::CapsuleLabel(const QString& text, const QColor& colour, QWidget* parent)
    : QLabel(text, parent), colour_(colour) {
    setFont(Fonts::caption(font()));
    setContentsMargins(6, 1, 6, 1);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CapsuleLabel::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Tones::faded(colour_, 0.15));
        painter.drawRoundedRect(rect(), height() / 2.0, height() / 2.0);
    }
    QLabel::paintEvent(event);
}

}  // namespace corvane::app
