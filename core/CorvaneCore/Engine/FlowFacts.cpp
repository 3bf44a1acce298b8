#include "CorvaneCore/Engine/FlowFacts.hpp"

namespace corvane {

FlowFacts::FlowFacts(const FlowDescriptor& flow) : flow(flow) {
    flow.anyApplicationCandidate([this](std::string_view candidate) {
        candidates.emplace_back(candidate);
        return false;
    });
    if (flow.remoteHostname) {
        hostname.emplace(*flow.remoteHostname);
        hostnameAddress = IPAddressValue::fromString(*flow.remoteHostname);
    }
}

}  // namespace corvane
