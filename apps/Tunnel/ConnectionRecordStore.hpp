#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>
#include <vector>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"

namespace corvane::tunnel {

// The connection records the daemon keeps for the app, oldest first, at most
// `capacity` of them. A full store makes room by dropping the oldest record that
// has ended (closed, failed, blocked), and only when every record still runs the
// oldest running one, so the list keeps showing what still flows. A dropped
// record is gone: a later update of it finds nothing. Appending, updating and
// dropping cost a logarithmic or constant step, never a walk of the list.
// Not locked: its owner guards it.
class ConnectionRecordStore {
public:
    explicit ConnectionRecordStore(std::size_t capacity);

    void append(ConnectionRecord record);
    // Runs `change` on the record with this identifier, when it is still kept.
    void update(const UUID& id, const std::function<void(ConnectionRecord&)>& change);
    // A copy of every record, oldest first.
    std::vector<ConnectionRecord> records() const;
    std::size_t size() const { return records_.size(); }

private:
    using Position = std::uint64_t;

    static bool hasEnded(const ConnectionRecord& record);
    void dropOne();

    const std::size_t capacity_;
    Position next_ = 0;
    // Keyed by the order of appending, so iteration is oldest first.
    std::map<Position, ConnectionRecord> records_;
    std::unordered_map<UUID, Position> positions_;
    // The positions of the records that have ended.
    std::set<Position> ended_;
};

}  // namespace corvane::tunnel
