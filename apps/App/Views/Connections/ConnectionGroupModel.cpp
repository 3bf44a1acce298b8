#include "ConnectionGroupModel.hpp"

namespace corvane::app {

ConnectionGroupModel::~ConnectionGroupModel() = default;

void ConnectionGroupModel::setGroups(const std::vector<ConnectionGroup>& groups) {
    syncGroups(groups);
    for (std::size_t row = 0; row < groups.size(); ++row) {
        syncRecords(static_cast<int>(row), groups[row]);
        nodes_[row]->group = groups[row];
        const QModelIndex header = index(static_cast<int>(row), 0);
        emit dataChanged(header, header);
        if (const int children = rowCount(header); children > 0) {
            emit dataChanged(index(0, 0, header), index(children - 1, 0, header));
        }
    }
}

void ConnectionGroupModel::syncGroups(const std::vector<ConnectionGroup>& groups) {
    std::vector<std::string> shown;
    for (const auto& node : nodes_) shown.push_back(node->group.id);
    std::vector<std::string> wanted;
    for (const ConnectionGroup& group : groups) wanted.push_back(group.id);
    const auto make = [&](int row) { return std::make_unique<Node>(Node{groups[static_cast<std::size_t>(row)]}); };
    for (const ListChange& change : listChanges(shown, wanted)) applyChange(change, {}, nodes_, make);
}

void ConnectionGroupModel::syncRecords(int row, const ConnectionGroup& group) {
    std::vector<ConnectionRecord>& records = nodes_[static_cast<std::size_t>(row)]->group.records;
    const QModelIndex parent = index(row, 0);
    const auto take = [&](int at) { return group.records[static_cast<std::size_t>(at)]; };
    for (const ListChange& change : listChanges(idsOf(records), idsOf(group.records))) {
        applyChange(change, parent, records, take);
    }
}

const ConnectionGroup* ConnectionGroupModel::group(const QModelIndex& index) const {
    if (!index.isValid() || index.internalPointer() != nullptr) return nullptr;
    return &nodes_[static_cast<std::size_t>(index.row())]->group;
}

const ConnectionRecord* ConnectionGroupModel::record(const QModelIndex& index) const {
    if (!index.isValid() || index.internalPointer() == nullptr) return nullptr;
    const auto* node = static_cast<const Node*>(index.internalPointer());
    return &node->group.records[static_cast<std::size_t>(index.row())];
}

QModelIndex ConnectionGroupModel::indexOfGroup(const std::string& appIdentifier) const {
    for (std::size_t row = 0; row < nodes_.size(); ++row) {
        if (nodes_[row]->group.id == appIdentifier) return index(static_cast<int>(row), 0);
    }
    return {};
}

QModelIndex ConnectionGroupModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0 || row >= rowCount(parent)) return {};
    if (!parent.isValid()) return createIndex(row, column, nullptr);
    return createIndex(row, column, nodes_[static_cast<std::size_t>(parent.row())].get());
}

QModelIndex ConnectionGroupModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalPointer() == nullptr) return {};
    return createIndex(rowOf(static_cast<const Node*>(child.internalPointer())), 0, nullptr);
}

int ConnectionGroupModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(nodes_.size());
    if (parent.internalPointer() != nullptr) return 0;
    return static_cast<int>(nodes_[static_cast<std::size_t>(parent.row())]->group.records.size());
}

int ConnectionGroupModel::columnCount(const QModelIndex&) const { return 1; }

QVariant ConnectionGroupModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (const ConnectionGroup* shown = group(index)) return QString::fromStdString(shown->appIdentifier);
    if (const ConnectionRecord* shown = record(index)) return QString::fromStdString(shown->target);
    return {};
}

int ConnectionGroupModel::rowOf(const Node* node) const {
    for (std::size_t row = 0; row < nodes_.size(); ++row) {
        if (nodes_[row].get() == node) return static_cast<int>(row);
    }
    return -1;
}

}  // namespace corvane::app
