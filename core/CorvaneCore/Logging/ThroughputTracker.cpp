#include "CorvaneCore/Logging/ThroughputTracker.hpp"

#include "CorvaneCore/Logging/SaturatingAdd.hpp"

#include <algorithm>

namespace corvane {
namespace {

std::uint64_t growth(std::uint64_t now, std::uint64_t before) {
    return now > before ? now - before : 0;
}

}  // namespace

std::optional<ThroughputTracker::Sample> ThroughputTracker::record(
    const std::vector<ConnectionRecord>& records, Date at) {
    std::unordered_map<UUID, Totals> totals;
    totals.reserve(records.size());
    std::uint64_t sent = 0;
    std::uint64_t received = 0;
    for (const auto& record : records) {
        totals[record.id] = {record.bytesSent, record.bytesReceived};
        Totals before{0, 0};  // a record not seen before counts in full
        if (const auto it = lastTotals_.find(record.id); it != lastTotals_.end()) before = it->second;
        sent = saturatingAdd(sent, growth(record.bytesSent, before.first));
        received = saturatingAdd(received, growth(record.bytesReceived, before.second));
    }
    lastTotals_ = std::move(totals);

    if (!lastSampledAt_) {
        lastSampledAt_ = at;
        return std::nullopt;
    }
    const double interval = at.timeIntervalSince(*lastSampledAt_);
    lastSampledAt_ = at;
    if (!(interval > 0.0)) return std::nullopt;

    const Sample sample{at, at, static_cast<double>(sent) / interval,
                        static_cast<double>(received) / interval};
    samples_.push_back(sample);
    while (samples_.size() > capacity_) samples_.pop_front();
    return sample;
}

double ThroughputTracker::peak() const {
    double result = 0;
    for (const auto& sample : samples_) result = std::max({result, sample.sent, sample.received});
    return result;
}

void ThroughputTracker::reset() {
    lastTotals_.clear();
    lastSampledAt_.reset();
    samples_.clear();
}

}  // namespace corvane
