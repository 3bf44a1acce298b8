#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "CorvaneCore/Support/UUID.hpp"

namespace corvane::app {

// Where the item a row showed is now. Identifiers can repeat in a profile
// (imports), so a row is addressed by its position, checked against the id it
// showed; only when the list changed meanwhile and the position holds another
// item does the first item with that id stand in. None when the id is gone.
template <class T>
std::optional<std::size_t> locateRow(const std::vector<T>& items, std::size_t row, const UUID& id) {
    if (row < items.size() && items[row].id == id) return row;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].id == id) return i;
    return std::nullopt;
}

}  // namespace corvane::app
