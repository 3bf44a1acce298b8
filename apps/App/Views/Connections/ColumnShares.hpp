#pragma once

#include <vector>

namespace corvane::app {

// How columns share a width: by weight, except that no column takes more than
// its text needs while another still wants more; once every column has what
// it needs, the rest goes to all of them by weight. The widths add up to
// `width` exactly, none below `narrowest` (then they add up to more).
std::vector<int> shareWidths(const std::vector<int>& needs, const std::vector<int>& weights, int width,
                             int narrowest);

}  // namespace corvane::app
