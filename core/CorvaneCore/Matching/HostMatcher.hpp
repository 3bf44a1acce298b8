#pragma once

#include <string_view>

// The one glob matcher of the system, for host names and application
// identifiers alike. Both texts are lower-cased and compared as UTF-8 bytes;
// "*" matches any run of bytes (dots included), "?" exactly one byte, and the
// whole text must match. There is no escape and no character class.
namespace corvane::HostMatcher {

bool matches(std::string_view pattern, std::string_view text);

// The same walk over texts that are both already lower-cased with
// unicode::lowercased: the bytes are compared as they are.
bool matchesLowercased(std::string_view lowerPattern, std::string_view lowerText);

}  // namespace corvane::HostMatcher
