#pragma once

#include "CorvaneCore/Engine/FlowFacts.hpp"
#include "CorvaneCore/Matching/CIDRBlock.hpp"
#include "CorvaneCore/Matching/GlobPattern.hpp"
#include "CorvaneCore/Models/PortRange.hpp"
#include "CorvaneCore/Models/Rule.hpp"
#include "CorvaneCore/Models/RuleMatchMode.hpp"

#include <cstdint>
#include <vector>

namespace corvane {

// A rule prepared once per profile for matching every flow: its patterns
// lower-cased, its networks parsed, its transports a bit set.
class CompiledRule {
public:
    // Why the rule did or did not match, before it is put into words.
    enum class Outcome { disabled, transport, port, application, target, neither, match };

    explicit CompiledRule(const Rule& rule);

    Outcome classify(const FlowFacts& facts) const;

private:
    void addHostPattern(std::string_view pattern);
    bool holdsPort(std::uint16_t port) const;
    bool applicationMatches(const FlowFacts& facts) const;
    bool hostMatches(const FlowFacts& facts) const;
    bool networkMatches(const FlowFacts& facts) const;
    bool hostNameMatches(const FlowFacts& facts) const;

    bool isEnabled_;
    RuleMatchMode matchMode_;
    unsigned transports_ = 0;  // bit 1 << transport; none: both
    std::vector<PortRange> ports_;
    std::vector<GlobPattern> applications_;
    // The host patterns, split by kind; the host list matches when any of
    // them does, so their order does not count.
    bool hasHosts_;
    std::vector<CIDRBlock> networks_;
    std::vector<GlobPattern> hostNames_;  // "*.x" adds "x" too
};

}  // namespace corvane
