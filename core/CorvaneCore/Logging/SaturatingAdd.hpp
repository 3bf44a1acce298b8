#pragma once

#include <cstdint>
#include <limits>

namespace corvane {

// Byte counts come from another process and may be as large as 2^64 - 1; a
// sum of them stops at the largest value instead of wrapping to a small one.
constexpr std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return std::numeric_limits<std::uint64_t>::max();
    return sum;
}

}  // namespace corvane
