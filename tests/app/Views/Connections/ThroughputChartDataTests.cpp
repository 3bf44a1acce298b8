// What the throughput chart draws: rate texts, the "Collecting…" state, the
// axis values and the scaled series.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "Views/Connections/ThroughputChartData.hpp"

namespace corvane::app::testing {
namespace {

using Sample = ThroughputChartData::Sample;

Sample sampleAt(double at, double sent, double received) { return {Date{at}, Date{at}, sent, received}; }

TEST(ThroughputChartDataTest, RatesDropFractionsAndReadNegativeOrNotANumberAsZero) {
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        double rate;
        const char* text;
    } cases[] = {
        {-5, "0 bytes/s"},
        {0.9, "0 bytes/s"},
        {1536.9, "1.5 kB/s"},
        {std::nan(""), "0 bytes/s"},
        {1e30, "8.0 EB/s"},
        {infinity, "8.0 EB/s"},
        {-infinity, "0 bytes/s"},
    };
    for (const auto& c : cases) EXPECT_EQ(ThroughputChartData::rate(c.rate), c.text) << c.rate;
}

TEST(ThroughputChartDataTest, OneSampleShowsItsRatesWhileCollecting) {
    const ThroughputChartData none({});
    EXPECT_TRUE(none.isCollecting());
    EXPECT_EQ(none.sentText(), "0 bytes/s");

    const ThroughputChartData one({sampleAt(0, 2048, -1)});
    EXPECT_TRUE(one.isCollecting());
    EXPECT_EQ(one.sentText(), "2.0 kB/s");
    EXPECT_EQ(one.receivedText(), "0 bytes/s");
    EXPECT_TRUE(one.sentPoints().empty());

    const ThroughputChartData two({sampleAt(0, 2048, -1), sampleAt(2, 100, 3000)});
    EXPECT_FALSE(two.isCollecting());
    EXPECT_EQ(two.receivedText(), "2.9 kB/s") << "from the last sample";
}

TEST(ThroughputChartDataTest, AxisValuesAreRoundInTheirUnitAndReachThePeak) {
    const double kB = 1024, MB = kB * 1024, GB = MB * 1024;
    const struct {
        double peak;
        std::vector<double> ticks;
    } cases[] = {
        {0, {0, 0.5 * kB, 1 * kB}},  // an idle chart still has a scale
        {std::nan(""), {0, 0.5 * kB, 1 * kB}},
        {1536, {0, 0.5 * kB, 1 * kB, 1.5 * kB}},
        {10 * kB, {0, 5 * kB, 10 * kB}},
        {100.5 * kB, {0, 50 * kB, 100 * kB, 150 * kB}},
        {999 * kB, {0, 0.5 * MB, 1 * MB}},  // "1,000.0 kB" would not be round
        {1010 * kB, {0, 0.5 * MB, 1 * MB}},
        {7.3 * GB, {0, 5 * GB, 10 * GB}},
    };
    for (const auto& c : cases) EXPECT_EQ(ThroughputChartData::ticks(c.peak), c.ticks) << c.peak;

    const std::vector<double> huge = ThroughputChartData::ticks(1e300);
    EXPECT_GE(huge.size(), 2u);
    EXPECT_EQ(ThroughputChartData::rate(huge.back()), "8.0 EB/s");
}

TEST(ThroughputChartDataTest, SeriesAreScaledToTheAxisTopAndSpreadOverTime) {
    const ThroughputChartData data({sampleAt(100, 0, 1024), sampleAt(102, 512, -7), sampleAt(108, std::nan(""), 2048)});
    EXPECT_EQ(data.axisTicks(), (std::vector<double>{0, 1024, 2048}));
    const std::vector<QPointF> sent{{0, 0}, {0.25, 0.25}, {1, 0}};
    const std::vector<QPointF> received{{0, 0.5}, {0.25, 0}, {1, 1}};
    EXPECT_EQ(data.sentPoints(), sent);
    EXPECT_EQ(data.receivedPoints(), received);

    const ThroughputChartData sameTime({sampleAt(5, 1, 1), sampleAt(5, 1, 1), sampleAt(5, 1, 1)});
    EXPECT_EQ(sameTime.sentPoints()[1].x(), 0.5) << "spread evenly when no time passed";
}

}  // namespace
}  // namespace corvane::app::testing
