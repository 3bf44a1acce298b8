#include "ThroughputChartData.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Presenters/FormatBytes.hpp"

namespace corvane::app {

namespace {

// The largest rate shown, just below 2^63 so that it converts exactly.
constexpr double kLargestRate = 9.2e18;
// The axis reaches at least this far, so that an idle chart reads 0 to 1 kB/s.
constexpr double kSmallestTop = 1024;
constexpr int kSteps = 3;
// Exbibytes: the largest unit a byte count is shown in.
constexpr double kLargestUnit = 1024.0 * 1024 * 1024 * 1024 * 1024 * 1024;

// Negative, NaN and huge rates made drawable.
double drawable(double rate) {
    if (!(rate > 0)) return 0;
    return std::min(rate, kLargestRate);
}

// 1, 2 or 5 times a power of ten, at least `rough`.
double roundStep(double rough) {
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    if (fraction <= 1) return power;
    if (fraction <= 2) return 2 * power;
    if (fraction <= 5) return 5 * power;
    return 10 * power;
}

}  // namespace

QString ThroughputChartData::rate(double bytesPerSecond) {
    const double rate = drawable(bytesPerSecond);
    const auto bytes = rate >= kLargestRate ? static_cast<std::uint64_t>(std::numeric_limits<qint64>::max())
                                            : static_cast<std::uint64_t>(std::trunc(rate));
    return formatBytes(bytes) + "/s";
}

std::vector<double> ThroughputChartData::ticks(double peak) {
    const double top = std::max(drawable(peak), kSmallestTop);
    double unit = 1024;
    double step = 0;
    int steps = 0;
    for (;; unit *= 1024) {
        step = roundStep(top / unit / kSteps);
        steps = static_cast<int>(std::ceil(top / unit / step - 1e-9));
        if (steps * step < 1000 || unit >= kLargestUnit) break;
    }
    std::vector<double> values;
    for (int i = 0; i <= steps; ++i) values.push_back(i * step * unit);
    return values;
}

ThroughputChartData::ThroughputChartData(const std::vector<Sample>& samples) {
    sentText_ = rate(samples.empty() ? 0 : samples.back().sent);
    receivedText_ = rate(samples.empty() ? 0 : samples.back().received);
    collecting_ = samples.size() < 2;
    if (collecting_) return;

    double peak = 0;
    for (const Sample& sample : samples) peak = std::max({peak, drawable(sample.sent), drawable(sample.received)});
    ticks_ = ticks(peak);
    const double top = ticks_.back();
    const double first = samples.front().at.sinceReferenceDate;
    const double span = samples.back().at.sinceReferenceDate - first;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double offset = samples[i].at.sinceReferenceDate - first;
        const double x = span > 0 && std::isfinite(offset) ? std::clamp(offset / span, 0.0, 1.0)
                                                           : static_cast<double>(i) / (samples.size() - 1);
        sent_.emplace_back(x, drawable(samples[i].sent) / top);
        received_.emplace_back(x, drawable(samples[i].received) / top);
    }
}

}  // namespace corvane::app
