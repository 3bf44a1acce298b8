#pragma once

#include <algorithm>
#include <iterator>
#include <vector>

#include <QModelIndex>

#include "Views/Connections/ListChanges.hpp"

namespace corvane::app {

// A Qt item model (`Base`) whose rows follow a vector in place: each step of
// listChanges is applied to the vector between the begin and end calls Qt
// asks for, so views keep what hangs on the rows that stay.
template <class Base>
class ListChangeModel : public Base {
public:
    using Base::Base;

protected:
    // Applies `change` to `rows`, the children of `parent`; inserted rows come
    // from `source(row)`.
    template <class Item, class Source>
    void applyChange(const ListChange& change, const QModelIndex& parent, std::vector<Item>& rows,
                     const Source& source) {
        const int last = change.first + change.count - 1;
        const auto first = rows.begin() + change.first;
        switch (change.kind) {
            case ListChange::Kind::remove:
                this->beginRemoveRows(parent, change.first, last);
                rows.erase(first, first + change.count);
                this->endRemoveRows();
                break;
            case ListChange::Kind::insert: {
                std::vector<Item> added;
                added.reserve(static_cast<std::size_t>(change.count));
                for (int row = change.first; row <= last; ++row) added.push_back(source(row));
                this->beginInsertRows(parent, change.first, last);
                rows.insert(first, std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
                this->endInsertRows();
                break;
            }
            case ListChange::Kind::move:
                this->beginMoveRows(parent, change.first, change.first, parent, change.to);
                std::rotate(rows.begin() + change.to, first, first + 1);
                this->endMoveRows();
                break;
        }
    }
};

}  // namespace corvane::app
