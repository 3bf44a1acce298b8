// How the Connections table's flexible columns share its width.
#include <gtest/gtest.h>

#include "Views/Connections/ColumnShares.hpp"

namespace corvane::app::testing {
namespace {

TEST(ColumnSharesTest, ColumnsShareByWeightButNoneTakesMoreThanItNeedsWhileAnotherIsShort) {
    const std::vector<int> weights{25, 42, 14, 19};
    const struct {
        const char* name;
        std::vector<int> needs;
        int width;
        int narrowest;
        std::vector<int> widths;
    } cases[] = {
        {"every text is long: by weight", {400, 400, 400, 400}, 200, 20, {50, 84, 28, 38}},
        {"the short ones keep their need, the long ones share the rest", {50, 400, 30, 400}, 300, 20,
         {50, 151, 30, 69}},
        {"all fit: what is left goes to all by weight", {50, 100, 30, 40}, 300, 20, {70, 134, 41, 55}},
        {"one long text takes only what the others leave", {60, 1000, 60, 60}, 360, 20, {60, 180, 60, 60}},
        {"too narrow: none under the narrowest", {400, 400, 400, 400}, 100, 40, {40, 42, 40, 40}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shareWidths(c.needs, weights, c.width, c.narrowest), c.widths) << c.name;
    }
}

}  // namespace
}  // namespace corvane::app::testing
