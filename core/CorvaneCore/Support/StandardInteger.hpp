#pragma once

#include <concepts>
#include <limits>
#include <optional>
#include <string_view>

namespace corvane {

// The system's one reader of integers typed or received as text: exactly one
// optional sign, then one or more ASCII digits; no white space, no other
// characters, and overflow gives no value. An unsigned type takes "-" only for
// the value zero ("-0").
template <std::integral T>
std::optional<T> parseStandardInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;

    // Accumulate toward the sign so that the most negative value fits too.
    T value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const T digit = static_cast<T>(c - '0');
        if (negative) {
            if constexpr (std::is_unsigned_v<T>) {
                if (digit != 0) return std::nullopt;
            } else {
                if (value < (std::numeric_limits<T>::min() + digit) / 10) return std::nullopt;
                value = static_cast<T>(value * 10 - digit);
            }
        } else {
            if (value > (std::numeric_limits<T>::max() - digit) / 10) return std::nullopt;
            value = static_cast<T>(value * 10 + digit);
        }
    }
    return value;
}

}  // namespace corvane
