#include "CorvaneCore/Logging/ThroughputTracker.hpp"

#include "RecordFixtures.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace corvane {
namespace {

using testing::makeRecord;

ConnectionRecord withBytes(ConnectionRecord record, std::uint64_t sent, std::uint64_t received) {
    record.bytesSent = sent;
    record.bytesReceived = received;
    return record;
}

void expectSample(const std::optional<ThroughputTracker::Sample>& sample, double at, double sent,
                  double received) {
    ASSERT_TRUE(sample.has_value()) << "at " << at;
    EXPECT_EQ(sample->at, Date{at});
    EXPECT_EQ(sample->id, Date{at});
    EXPECT_DOUBLE_EQ(sample->sent, sent);
    EXPECT_DOUBLE_EQ(sample->received, received);
}

TEST(ThroughputTrackerTest, SamplesTheGrowthBetweenSnapshots) {
    ThroughputTracker tracker(120);
    const auto kept = makeRecord("app", 0);
    const auto vanishing = makeRecord("app", 0);
    const auto shrinking = makeRecord("app", 0);

    // First snapshot: only remembered, however many bytes it shows.
    EXPECT_EQ(tracker.record({withBytes(kept, 5000, 5000), withBytes(vanishing, 7000, 7000),
                              withBytes(shrinking, 900, 900)},
                             Date{100}),
              std::nullopt);
    EXPECT_TRUE(tracker.samples().empty());

    // Second: kept grew by 1000/500, shrinking went down, vanishing is gone,
    // a new record counts in full.
    const auto fresh = makeRecord("app", 0);
    expectSample(tracker.record({withBytes(kept, 6000, 5500), withBytes(shrinking, 10, 900),
                                 withBytes(fresh, 4000, 0)},
                                Date{102}),
                 102, (1000 + 4000) / 2.0, 500 / 2.0);

    // Third: the vanished record comes back and counts in full again; fresh
    // stays, shrinking stays at its lower value.
    expectSample(tracker.record({withBytes(kept, 6000, 5500), withBytes(shrinking, 10, 900),
                                 withBytes(fresh, 4100, 40), withBytes(vanishing, 7000, 7000)},
                                Date{106}),
                 106, (100 + 7000) / 4.0, (40 + 7000) / 4.0);
    EXPECT_EQ(tracker.samples().size(), 2u);
}

TEST(ThroughputTrackerTest, NoTimeBetweenSnapshotsDropsTheirGrowth) {
    ThroughputTracker tracker(120);
    const auto record = makeRecord("app", 0);
    tracker.record({withBytes(record, 0, 0)}, Date{10});
    expectSample(tracker.record({withBytes(record, 1000, 500)}, Date{12}), 12, 500, 250);
    EXPECT_EQ(tracker.record({withBytes(record, 3000, 500)}, Date{12}), std::nullopt);
    // Measured from the second call at 12, without the lost 2000 bytes.
    expectSample(tracker.record({withBytes(record, 3100, 500)}, Date{14}), 14, 50, 0);
    // A time that went backwards gives nothing and becomes the new start.
    EXPECT_EQ(tracker.record({withBytes(record, 3200, 500)}, Date{13}), std::nullopt);
    expectSample(tracker.record({withBytes(record, 3300, 500)}, Date{14}), 14, 100, 0);
    EXPECT_EQ(tracker.samples().size(), 3u);
}

TEST(ThroughputTrackerTest, RateSumsSaturateInsteadOfWrapping) {
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    ThroughputTracker tracker(120);
    tracker.record({}, Date{0});
    const auto sample = tracker.record(
        {withBytes(makeRecord("a", 0), kMax, 1), withBytes(makeRecord("b", 0), 2, 2)}, Date{1});
    ASSERT_TRUE(sample.has_value());
    EXPECT_EQ(sample->sent, static_cast<double>(kMax));
    EXPECT_EQ(sample->received, 3.0);
}

TEST(ThroughputTrackerTest, KeepsAtMostCapacitySamples) {
    ThroughputTracker tracker(120);
    tracker.record({}, Date{0});
    for (int i = 1; i <= 121; ++i) {
        ASSERT_TRUE(tracker.record({}, Date{static_cast<double>(i)}).has_value());
        EXPECT_LE(tracker.samples().size(), 120u);
    }
    ASSERT_EQ(tracker.samples().size(), 120u);
    EXPECT_EQ(tracker.samples().front().at, Date{2});
    EXPECT_EQ(tracker.samples().back().at, Date{121});
    EXPECT_EQ(tracker.capacity(), 120u);

    ThroughputTracker none(0);
    none.record({}, Date{0});
    expectSample(none.record({withBytes(makeRecord("a", 0), 10, 20)}, Date{1}), 1, 10, 20);
    EXPECT_TRUE(none.samples().empty());
}

TEST(ThroughputTrackerTest, PeakIsTheLargestRateOfEitherDirection) {
    ThroughputTracker tracker(120);
    EXPECT_EQ(tracker.peak(), 0.0);
    const auto record = makeRecord("app", 0);
    tracker.record({withBytes(record, 0, 0)}, Date{0});
    tracker.record({withBytes(record, 10, 30)}, Date{1});
    tracker.record({withBytes(record, 35, 35)}, Date{2});
    EXPECT_EQ(tracker.peak(), 30.0);
}

TEST(ThroughputTrackerTest, ResetStartsOver) {
    ThroughputTracker tracker(120);
    const auto record = makeRecord("app", 0);
    tracker.record({withBytes(record, 0, 0)}, Date{0});
    tracker.record({withBytes(record, 10, 10)}, Date{1});
    tracker.reset();
    EXPECT_TRUE(tracker.samples().empty());
    EXPECT_EQ(tracker.peak(), 0.0);
    EXPECT_EQ(tracker.record({withBytes(record, 500, 500)}, Date{5}), std::nullopt);
    // Measured from the first snapshot after the reset.
    expectSample(tracker.record({withBytes(record, 600, 500)}, Date{6}), 6, 100, 0);
}

}  // namespace
}  // namespace corvane
