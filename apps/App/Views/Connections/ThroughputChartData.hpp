#pragma once

#include <vector>

#include <QPointF>
#include <QString>

#include "CorvaneCore/Logging/ThroughputTracker.hpp"

namespace corvane::app {

// What the throughput chart draws from the model's samples: the legend's
// latest rates, whether it is still collecting, the y axis with round values in
// 1024-based units, and both series as points scaled to a unit square (x from
// the first to the last sample, y from 0 to the axis top).
class ThroughputChartData {
public:
    using Sample = ThroughputTracker::Sample;

    explicit ThroughputChartData(const std::vector<Sample>& samples);

    // A rate as "1.5 kB/s": below zero or not a number reads as 0, the fraction
    // is dropped, and a rate beyond the signed 64-bit range shows as its largest.
    static QString rate(double bytesPerSecond);
    // Round axis values from 0 to at least `peak`: about three steps of 1, 2 or
    // 5 times a power of ten in the unit (kB, MB, …) that keeps them below 1000.
    static std::vector<double> ticks(double peak);

    QString sentText() const { return sentText_; }
    QString receivedText() const { return receivedText_; }
    // Fewer than two samples: the chart shows "Collecting…".
    bool isCollecting() const { return collecting_; }
    const std::vector<double>& axisTicks() const { return ticks_; }
    const std::vector<QPointF>& sentPoints() const { return sent_; }
    const std::vector<QPointF>& receivedPoints() const { return received_; }

private:
    QString sentText_;
    QString receivedText_;
    bool collecting_ = true;
    std::vector<double> ticks_;
    std::vector<QPointF> sent_;
    std::vector<QPointF> received_;
};

}  // namespace corvane::app
