#pragma once

#include "CorvaneCore/Engine/FlowDescriptor.hpp"
#include "CorvaneCore/Matching/GlobPattern.hpp"
#include "CorvaneCore/Matching/IPAddressValue.hpp"

#include <optional>
#include <vector>

namespace corvane {

// What the patterns of every rule are tested against, worked out once per
// flow: the application candidates and the host name prepared for the glob
// patterns, and the host name's address when the name is itself an IP literal.
struct FlowFacts {
    explicit FlowFacts(const FlowDescriptor& flow);

    const FlowDescriptor& flow;
    std::vector<GlobPattern::Text> candidates;  // in the order of applicationMatchCandidates
    std::optional<GlobPattern::Text> hostname;
    std::optional<IPAddressValue> hostnameAddress;
};

}  // namespace corvane
