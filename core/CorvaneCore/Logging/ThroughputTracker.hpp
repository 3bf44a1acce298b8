#pragma once

#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "CorvaneCore/Support/Date.hpp"
#include "CorvaneCore/Support/UUID.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace corvane {

// Turns successive snapshots of the connection records into throughput
// samples in bytes per second. The caller gives the time of each snapshot;
// the tracker reads no clock. One owner, one thread.
class ThroughputTracker {
public:
    struct Sample {
        Date id;  // equal to `at`
        Date at;
        double sent = 0;      // bytes per second towards the targets
        double received = 0;  // bytes per second received

        friend bool operator==(const Sample&, const Sample&) = default;
    };

    explicit ThroughputTracker(std::size_t capacity) : capacity_(capacity) {}

    // The sample for the growth since the previous snapshot, or none on the
    // first snapshot and when no time has passed since the previous one.
    std::optional<Sample> record(const std::vector<ConnectionRecord>& records, Date at);

    // Oldest first, at most `capacity` of them.
    const std::deque<Sample>& samples() const { return samples_; }
    std::size_t capacity() const { return capacity_; }
    // The largest sent or received rate among the kept samples; 0 without any.
    double peak() const;
    void reset();

private:
    using Totals = std::pair<std::uint64_t, std::uint64_t>;  // sent, received

    std::unordered_map<UUID, Totals> lastTotals_;
    std::optional<Date> lastSampledAt_;
    std::deque<Sample> samples_;
    std::size_t capacity_;
};

}  // namespace corvane
