#include "ColumnShares.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace corvane::app {

namespace {

// The exact shares of `width`: every column whose part would exceed its need
// gets its need, and the others split what is left by weight, until none is
// over; what is left over when all have their needs goes to all by weight.
std::vector<double> exactShares(const std::vector<int>& needs, const std::vector<int>& weights, double width) {
    const std::size_t count = needs.size();
    std::vector<double> shares(count, 0);
    std::vector<bool> satisfied(count, false);
    double left = width;
    for (bool settled = false; !settled;) {
        double weight = 0;
        for (std::size_t i = 0; i < count; ++i) weight += satisfied[i] ? 0 : weights[i];
        if (weight <= 0) break;
        settled = true;
        for (std::size_t i = 0; i < count; ++i) {
            if (satisfied[i] || left * weights[i] / weight < needs[i]) continue;
            shares[i] = needs[i];
            satisfied[i] = true;
            left -= needs[i];
            settled = false;
        }
        if (settled) {
            for (std::size_t i = 0; i < count; ++i) {
                if (!satisfied[i]) shares[i] = left * weights[i] / weight;
            }
            return shares;
        }
    }
    double all = 0;
    for (const int weight : weights) all += weight;
    for (std::size_t i = 0; i < count && all > 0; ++i) shares[i] += left * weights[i] / all;
    return shares;
}

}  // namespace

std::vector<int> shareWidths(const std::vector<int>& needs, const std::vector<int>& weights, int width,
                             int narrowest) {
    const std::vector<double> shares = exactShares(needs, weights, width);
    // Rounded where they end, so the whole pixels add up to the width.
    std::vector<int> widths;
    double end = 0;
    int given = 0;
    for (const double share : shares) {
        end += share;
        const int next = static_cast<int>(std::lround(end));
        widths.push_back(std::max(next - given, narrowest));
        given = next;
    }
    return widths;
}

}  // namespace corvane::app
