#pragma once

#include <memory>
#include <vector>

#include <QAbstractItemModel>

#include "CorvaneCore/Logging/ConnectionGroup.hpp"
#include "Views/Connections/ListChangeModel.hpp"

namespace corvane::app {

// The grouped list of the Connections page: one top-level row per application,
// its records as children. Updated in place, groups kept by application and
// records by id, so the view keeps which groups are open, its scroll position
// and an open context menu across polls.
class ConnectionGroupModel : public ListChangeModel<QAbstractItemModel> {
    Q_OBJECT

public:
    using ListChangeModel::ListChangeModel;
    ~ConnectionGroupModel() override;

    void setGroups(const std::vector<ConnectionGroup>& groups);

    // The group of a top-level row, or the record of a child row; null otherwise.
    const ConnectionGroup* group(const QModelIndex& index) const;
    const ConnectionRecord* record(const QModelIndex& index) const;
    // The top-level row of the group of this application, if shown.
    QModelIndex indexOfGroup(const std::string& appIdentifier) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    // Children point at their group's node, whose address never changes while shown.
    struct Node {
        ConnectionGroup group;
    };

    void syncGroups(const std::vector<ConnectionGroup>& groups);
    void syncRecords(int row, const ConnectionGroup& group);
    int rowOf(const Node* node) const;

    std::vector<std::unique_ptr<Node>> nodes_;
};

}  // namespace corvane::app
