#pragma once

#include <optional>
#include <string_view>

#include "CorvaneCore/Matching/IPAddressValue.hpp"

namespace corvane::tunnel {

// The address an endpoint's host text names, when it is an IP literal. A link-local
// IPv6 literal with a zone ("fe80::1%eth0") names its address: the zone only says
// which interface leads there, and rules match the address.
std::optional<IPAddressValue> endpointAddress(std::string_view host);

}  // namespace corvane::tunnel
