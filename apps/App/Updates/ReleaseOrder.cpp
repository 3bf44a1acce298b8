#include "ReleaseOrder.hpp"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <vector>

namespace corvane::updates::ReleaseOrder {

namespace {

std::vector<std::string_view> parts(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t start = 0;;) {
        const std::size_t dot = text.find('.', start);
        out.push_back(text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) return out;
        start = dot + 1;
    }
}

std::optional<unsigned long long> number(std::string_view part) {
    unsigned long long value = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || error != std::errc() || end != part.data() + part.size()) return std::nullopt;
    return value;
}

}  // namespace

bool isNewer(std::string_view candidate, std::string_view current) {
    const auto theirs = parts(candidate);
    const auto ours = parts(current);
    for (std::size_t i = 0; i < std::max(theirs.size(), ours.size()); ++i) {
        const std::string_view a = i < theirs.size() ? theirs[i] : "0";
        const std::string_view b = i < ours.size() ? ours[i] : "0";
        const auto x = number(a);
        const auto y = number(b);
        if (x && y) {
            if (*x != *y) return *x > *y;
        } else if (a != b) {
            return a > b;
        }
    }
    return false;
}

}  // namespace corvane::updates::ReleaseOrder
