#include "ThroughputChart.hpp"

#include <algorithm>

#include <QPainter>
#include <QPainterPath>

#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"

namespace corvane::app {

namespace {

constexpr int kHorizontalPadding = 12;
constexpr int kVerticalPadding = 8;
constexpr int kRowSpacing = 6;
constexpr int kEntrySpacing = 14;
constexpr int kItemSpacing = 5;
constexpr int kDot = 7;
constexpr int kLabelGap = 6;

QPointF placed(const QPointF& point, const QRectF& area) {
    return {area.left() + point.x() * area.width(), area.bottom() - point.y() * area.height()};
}

QPainterPath line(const std::vector<QPointF>& points, const QRectF& area) {
    QPainterPath path;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0) {
            path.moveTo(placed(points[i], area));
        } else {
            path.lineTo(placed(points[i], area));
        }
    }
    return path;
}

}  // namespace

ThroughputChart::ThroughputChart(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName("Throughput");
    describe();
}

void ThroughputChart::setSamples(const std::vector<ThroughputTracker::Sample>& samples) {
    data_ = ThroughputChartData(samples);
    describe();
    update();
}

void ThroughputChart::describe() {
    const QString rates = "Sent " + data_.sentText() + ", received " + data_.receivedText();
    setAccessibleDescription(data_.isCollecting() ? rates + "; collecting…" : rates);
}

int ThroughputChart::legendHeight() const { return QFontMetrics(Fonts::callout(font())).height(); }

QSize ThroughputChart::sizeHint() const {
    return {400, 2 * kVerticalPadding + legendHeight() + kRowSpacing + kPlotHeight};
}

QSize ThroughputChart::minimumSizeHint() const { return {200, sizeHint().height()}; }

void ThroughputChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect content = rect().adjusted(kHorizontalPadding, kVerticalPadding, -kHorizontalPadding, -kVerticalPadding);
    int left = paintLegend(painter, content.left(), content.top(), sentColour(), "Sent", data_.sentText());
    paintLegend(painter, left + kEntrySpacing, content.top(), receivedColour(), "Received", data_.receivedText());

    const QRect body(content.left(), content.top() + legendHeight() + kRowSpacing, content.width(), kPlotHeight);
    if (data_.isCollecting()) {
        painter.setFont(Fonts::callout(font()));
        painter.setPen(Tones::tertiaryText(palette()));
        painter.drawText(body, Qt::AlignCenter, "Collecting…");
        return;
    }
    paintPlot(painter, body);
}

int ThroughputChart::paintLegend(QPainter& painter, int left, int top, const QColor& colour, const QString& label,
                                 const QString& value) const {
    const QFont callout = Fonts::callout(font());
    const QFontMetrics metrics(callout);
    const int height = metrics.height();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(left, top + (height - kDot) / 2.0, kDot, kDot));
    left += kDot + kItemSpacing;
    painter.setFont(callout);
    painter.setPen(Tones::secondaryText(palette()));
    painter.drawText(QRect(left, top, metrics.horizontalAdvance(label), height), Qt::AlignVCenter, label);
    left += metrics.horizontalAdvance(label) + kItemSpacing;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(left, top, metrics.horizontalAdvance(value), height), Qt::AlignVCenter, value);
    return left + metrics.horizontalAdvance(value);
}

QColor ThroughputChart::sentColour() const { return Tones::readable(Tones::blue(), palette()); }

QColor ThroughputChart::receivedColour() const { return Tones::readable(Tones::green(), palette()); }

void ThroughputChart::paintPlot(QPainter& painter, const QRect& area) const {
    const QFont labelFont = Fonts::caption(Fonts::caption(font()));
    const QFontMetrics metrics(labelFont);
    const std::vector<double>& ticks = data_.axisTicks();
    int labelWidth = 0;
    for (const double tick : ticks) {
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(ThroughputChartData::rate(tick)));
    }
    const int half = metrics.height() / 2;
    const QRectF plot(area.left(), area.top() + half, std::max(0, area.width() - labelWidth - kLabelGap),
                      area.height() - 2 * half);

    painter.setFont(labelFont);
    for (const double tick : ticks) {
        const double y = plot.bottom() - tick / ticks.back() * plot.height();
        painter.setPen(QPen(Tones::faded(palette().color(QPalette::WindowText), 0.12), 1));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(Tones::secondaryText(palette()));
        painter.drawText(QRectF(plot.right() + kLabelGap, y - half, labelWidth, 2 * half),
                         Qt::AlignLeft | Qt::AlignVCenter, ThroughputChartData::rate(tick));
    }

    const QPainterPath received = line(data_.receivedPoints(), plot);
    QPainterPath filled = received;
    filled.lineTo(placed({data_.receivedPoints().back().x(), 0}, plot));
    filled.lineTo(placed({data_.receivedPoints().front().x(), 0}, plot));
    filled.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Tones::faded(receivedColour(), 0.18));
    painter.drawPath(filled);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(receivedColour(), 1.5));
    painter.drawPath(received);
    painter.setPen(QPen(sentColour(), 1.5));
    painter.drawPath(line(data_.sentPoints(), plot));
}

}  // namespace corvane::app
