#pragma once

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace corvane::app {

// One step that changes a list of rows in place.
struct ListChange {
    enum class Kind { remove, insert, move };
    Kind kind;
    int first;      // remove, insert: the first row; move: the row that moves
    int count = 1;  // remove, insert: the rows; move: 1
    int to = 0;     // move: the row it ends at, above where it was

    friend bool operator==(const ListChange&, const ListChange&) = default;
};

// The steps that turn the rows keyed `from` into the rows keyed `to`, applied
// in order: runs of vanished rows removed bottom up, then, top down, a kept row
// moved up into place or a run of new rows inserted. Rows whose key stays are
// never removed, so views keep what hangs on them (expansion, the scroll
// position, an open context menu). Lists with a repeated key are replaced as a
// whole.
template <class Key, class Hash = std::hash<Key>>
std::vector<ListChange> listChanges(std::vector<Key> from, const std::vector<Key>& to) {
    const std::unordered_set<Key, Hash> wanted(to.begin(), to.end());
    std::unordered_set<Key, Hash> kept(from.begin(), from.end());
    std::vector<ListChange> changes;
    if (wanted.size() != to.size() || kept.size() != from.size()) {
        if (!from.empty()) changes.push_back({ListChange::Kind::remove, 0, static_cast<int>(from.size())});
        if (!to.empty()) changes.push_back({ListChange::Kind::insert, 0, static_cast<int>(to.size())});
        return changes;
    }
    for (int row = static_cast<int>(from.size()) - 1; row >= 0;) {
        int first = row;
        while (first >= 0 && !wanted.contains(from[first])) --first;
        if (first < row) {
            changes.push_back({ListChange::Kind::remove, first + 1, row - first});
            for (int gone = first + 1; gone <= row; ++gone) kept.erase(from[gone]);
            from.erase(from.begin() + first + 1, from.begin() + row + 1);
        }
        row = first - 1;
    }
    for (int row = 0; row < static_cast<int>(to.size()); ++row) {
        if (row < static_cast<int>(from.size()) && from[row] == to[row]) continue;
        if (kept.contains(to[row])) {
            const int at = static_cast<int>(std::find(from.begin() + row, from.end(), to[row]) - from.begin());
            changes.push_back({ListChange::Kind::move, at, 1, row});
            from.erase(from.begin() + at);
            from.insert(from.begin() + row, to[row]);
            continue;
        }
        int count = 0;
        while (row + count < static_cast<int>(to.size()) && !kept.contains(to[row + count])) ++count;
        changes.push_back({ListChange::Kind::insert, row, count});
        from.insert(from.begin() + row, to.begin() + row, to.begin() + row + count);
        for (int added = row; added < row + count; ++added) kept.insert(to[added]);
        row += count - 1;
    }
    return changes;
}

// The keys of `items` (their `id`s) in order, as listChanges compares them.
template <class Item>
auto idsOf(const std::vector<Item>& items) {
    std::vector<decltype(Item::id)> ids;
    ids.reserve(items.size());
    for (const Item& item : items) ids.push_back(item.id);
    return ids;
}

}  // namespace corvane::app
