#pragma once

#include <string_view>

namespace corvane::updates::ReleaseOrder {

// Whether build `candidate` comes after build `current`: dot-separated parts
// compared in turn, as numbers where both are digits, else as text; a missing
// part counts as "0".
bool isNewer(std::string_view candidate, std::string_view current);

}  // namespace corvane::updates::ReleaseOrder
