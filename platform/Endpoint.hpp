#pragma once

#include <variant>

#include "platform/HostEndpoint.hpp"

namespace corvane::platform {

// A flow's endpoint: a host endpoint, or another kind the provider does not handle
// (std::monostate).
using Endpoint = std::variant<HostEndpoint, std::monostate>;

// The host endpoint inside `endpoint`, or nullptr when it is another kind.
inline const HostEndpoint* hostEndpoint(const Endpoint& endpoint) {
    return std::get_if<HostEndpoint>(&endpoint);
}
// Not on a temporary: the pointer would dangle (keep the endpoint in a variable).
const HostEndpoint* hostEndpoint(Endpoint&& endpoint) = delete;

}  // namespace corvane::platform
