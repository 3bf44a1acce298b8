#pragma once

#include <vector>

#include <QWidget>

#include "Views/Connections/ThroughputChartData.hpp"

namespace corvane::app {

// The strip above the connections: a legend with the latest sent and received
// rates, then "Collecting…" until two samples exist, else a 70-pixel chart of
// both series (received as a green line over a light green area, sent as a blue
// line) with rate labels on the trailing side.
class ThroughputChart : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPlotHeight = 70;

    explicit ThroughputChart(QWidget* parent = nullptr);

    void setSamples(const std::vector<ThroughputTracker::Sample>& samples);
    const ThroughputChartData& data() const { return data_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Says the latest rates to assistive technology, as the legend shows them.
    void describe();
    int legendHeight() const;
    // The series' colours, in the shades that read as the legend's keys.
    QColor sentColour() const;
    QColor receivedColour() const;
    int paintLegend(QPainter& painter, int left, int top, const QColor& colour, const QString& label,
                    const QString& value) const;
    void paintPlot(QPainter& painter, const QRect& area) const;

    ThroughputChartData data_{{}};
};

}  // namespace corvane::app
