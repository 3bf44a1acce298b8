#pragma once

#include "CorvaneCore/Models/CodeIdentity.hpp"

#include <optional>
#include <string>

namespace corvane {

// Who sends a flow, as the daemon knows the program: the identifier it claims,
// the executable's path and the identity its verification gave.
struct FlowSource {
    std::optional<std::string> identifier{};
    std::optional<std::string> path{};
    std::optional<CodeIdentity> identity{};

    friend bool operator==(const FlowSource&, const FlowSource&) = default;
};

}  // namespace corvane
