#include "StatusLabel.hpp"

#include <QPainter>

#include "Presenters/Connections/ConnectionTexts.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"

namespace corvane::app {

namespace {

constexpr int kHorizontalPadding = 6;
constexpr int kVerticalPadding = 2;

}  // namespace

StatusLabel::StatusLabel(ConnectionStatus status, QWidget* parent) : QWidget(parent), status_(status) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(ConnectionTexts::statusTitle(status));
}

QSize StatusLabel::sizeHint() const { return badgeSize(status_, font()); }

QSize StatusLabel::badgeSize(ConnectionStatus status, const QFont& font) {
    const QFontMetrics metrics(Fonts::caption(font));
    return {metrics.horizontalAdvance(ConnectionTexts::statusTitle(status)) + 2 * kHorizontalPadding,
            metrics.height() + 2 * kVerticalPadding};
}

void StatusLabel::paint(QPainter& painter, const QRect& area, ConnectionStatus status, const QFont& font,
                        const QColor& background, std::optional<QColor> selectedText) {
    const QSize size = badgeSize(status, font);
    const QRect badge(area.left(), area.top() + (area.height() - size.height()) / 2, size.width(), size.height());
    const QColor fill = Tones::faded(Tones::status(status), 0.15);
    const QColor text = selectedText.value_or(Tones::readable(Tones::status(status), {Tones::over(fill, background)}));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (selectedText) {
        painter.setPen(QPen(text, 1.0));
        painter.setBrush(Qt::NoBrush);
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
    }
    const QRectF capsule = QRectF(badge).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(capsule, capsule.height() / 2.0, capsule.height() / 2.0);
    painter.setPen(text);
    painter.setFont(Fonts::caption(font));
    painter.drawText(badge, Qt::AlignCenter, ConnectionTexts::statusTitle(status));
    painter.restore();
}

void StatusLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, rect(), status_, font(), palette().color(QPalette::Window));
}

}  // namespace corvane::app
