#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <iterator>
#include <vector>

namespace corvane::app {

// The standard list move of a drag: the elements at `offsets` (in their
// relative order) are placed before the element that stood at `destination`;
// a destination equal to the size places them at the end. Offsets out of range
// are ignored.
template <class T>
void moveElements(std::vector<T>& items, std::vector<std::size_t> offsets, std::size_t destination) {
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    offsets.erase(std::lower_bound(offsets.begin(), offsets.end(), items.size()), offsets.end());
    destination = std::min(destination, items.size());

    std::vector<T> moved;
    std::vector<T> rest;
    std::size_t next = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (next < offsets.size() && offsets[next] == i) {
            moved.push_back(std::move(items[i]));
            ++next;
        } else {
            rest.push_back(std::move(items[i]));
        }
    }
    const auto before = static_cast<std::size_t>(
        std::lower_bound(offsets.begin(), offsets.end(), destination) - offsets.begin());
    const auto at = rest.begin() + static_cast<std::ptrdiff_t>(destination - before);
    rest.insert(at, std::make_move_iterator(moved.begin()), std::make_move_iterator(moved.end()));
    items = std::move(rest);
}

// Removes the elements at `offsets`; offsets out of range are ignored.
template <class T>
void removeElements(std::vector<T>& items, std::vector<std::size_t> offsets) {
    std::sort(offsets.begin(), offsets.end(), std::greater<>());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    for (std::size_t offset : offsets)
        if (offset < items.size()) items.erase(items.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace corvane::app
