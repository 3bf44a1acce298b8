#pragma once

#include "CorvaneCore/Engine/FlowFacts.hpp"
#include "CorvaneCore/Models/Rule.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane {

// Finds the rules a flow could match without trying every rule. Each rule
// gets keys of which every flow it matches has at least one: the first bytes
// of an application text, a host name or the domain from one of its dots on,
// the leading bytes of an address. A rule with a pattern that gives no key is
// tried for every flow; a disabled rule for none. The rules left out cannot
// match, so the first match among the rest is the first match of all.
class RuleIndex {
public:
    explicit RuleIndex(const std::vector<Rule>& rules);

    // Calls `tryRule` with the position of each rule the flow could match, in
    // profile order, until it returns true; the position it stopped at.
    template <class Try>
    std::optional<std::size_t> findFirst(const FlowFacts& facts, Try&& tryRule) const;

private:
    using Bits = std::vector<std::uint64_t>;
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    using TextKeys = std::unordered_map<std::string, std::vector<std::size_t>, TextHash, std::equal_to<>>;

    void addRule(const Rule& rule, std::size_t position);
    Bits candidates(const FlowFacts& facts) const;
    static void mark(const std::vector<std::size_t>& positions, Bits& bits);
    void markText(const TextKeys& keys, std::string_view key, Bits& bits) const;
    void markHostName(std::string_view host, Bits& bits) const;
    void markAddress(const IPAddressValue& address, Bits& bits) const;

    Bits alwaysTried_;
    TextKeys applications_;
    TextKeys hostNames_;
    std::size_t longestHostNameKey_ = 0;
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> networks_;
};

template <class Try>
std::optional<std::size_t> RuleIndex::findFirst(const FlowFacts& facts, Try&& tryRule) const {
    const Bits bits = candidates(facts);
    for (std::size_t word = 0; word < bits.size(); ++word) {
        for (std::uint64_t rest = bits[word]; rest != 0; rest &= rest - 1) {
            const std::size_t position = word * 64 + static_cast<std::size_t>(std::countr_zero(rest));
            if (tryRule(position)) return position;
        }
    }
    return std::nullopt;
}

}  // namespace corvane
