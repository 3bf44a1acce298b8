#include "Tunnel/ConnectionRecordStore.hpp"

namespace corvane::tunnel {

ConnectionRecordStore::ConnectionRecordStore(std::size_t capacity) : capacity_(capacity) {}

bool ConnectionRecordStore::hasEnded(const ConnectionRecord& record) {
    return record.status != ConnectionStatus::active;
}

void ConnectionRecordStore::append(ConnectionRecord record) {
    while (!records_.empty() && records_.size() >= capacity_) dropOne();
    const Position position = next_++;
    positions_[record.id] = position;
    if (hasEnded(record)) ended_.insert(position);
    records_.emplace(position, std::move(record));
}

void ConnectionRecordStore::dropOne() {
    const auto victim = ended_.empty() ? records_.begin() : records_.find(*ended_.begin());
    ended_.erase(victim->first);
    positions_.erase(victim->second.id);
    records_.erase(victim);
}

void ConnectionRecordStore::update(const UUID& id, const std::function<void(ConnectionRecord&)>& change) {
    const auto position = positions_.find(id);
    if (position == positions_.end()) return;
    ConnectionRecord& record = records_.at(position->second);
    change(record);
    if (hasEnded(record)) ended_.insert(position->second);
    else ended_.erase(position->second);
}

std::vector<ConnectionRecord> ConnectionRecordStore::records() const {
    std::vector<ConnectionRecord> out;
    out.reserve(records_.size());
    for (const auto& [position, record] : records_) out.push_back(record);
    return out;
}

}  // namespace corvane::tunnel
