#pragma once

#include <cstddef>
#include <functional>

namespace corvane {

// Mixes the hash of one more value into a running hash (the boost recipe).
template <class T>
void hashCombine(std::size_t& seed, const T& value) {
    seed ^= std::hash<T>{}(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// The hash of a sequence, element by element in order.
template <class Range>
std::size_t hashRange(const Range& range) {
    std::size_t seed = 0;
    for (const auto& element : range) hashCombine(seed, element);
    return seed;
}

}  // namespace corvane
