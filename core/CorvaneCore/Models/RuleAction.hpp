#pragma once

#include "CorvaneCore/Support/JsonReader.hpp"
#include "CorvaneCore/Support/UUID.hpp"

#include <concepts>
#include <cstddef>
#include <functional>
#include <utility>
#include <variant>
#include <vector>

namespace corvane {

// What to do with a flow: go out directly, be refused, or be relayed through
// one proxy, a chain of proxies (first one reached first) or the first
// answering proxy of a failover list.
class RuleAction {
public:
    struct Direct {
        friend bool operator==(const Direct&, const Direct&) = default;
    };
    struct Block {
        friend bool operator==(const Block&, const Block&) = default;
    };
    struct Proxy {
        UUID id;
        friend bool operator==(const Proxy&, const Proxy&) = default;
    };
    struct Chain {
        std::vector<UUID> ids;
        friend bool operator==(const Chain&, const Chain&) = default;
    };
    struct Failover {
        std::vector<UUID> ids;
        friend bool operator==(const Failover&, const Failover&) = default;
    };
    using Value = std::variant<Direct, Block, Proxy, Chain, Failover>;
    // The cases in declaration order; kind() is the index of the variant.
    enum class Kind { direct, block, proxy, chain, failover };

    RuleAction() = default;  // direct
    // One case with its payload, e.g. RuleAction(RuleAction::Chain{ids}).
    template <class Case>
        requires(std::same_as<Case, Direct> || std::same_as<Case, Block> || std::same_as<Case, Proxy> ||
                 std::same_as<Case, Chain> || std::same_as<Case, Failover>)
    explicit RuleAction(Case payload) : value_(std::in_place_type<Case>, std::move(payload)) {}

    static RuleAction direct() { return RuleAction(Direct{}); }
    static RuleAction block() { return RuleAction(Block{}); }
    static RuleAction proxy(const UUID& id) { return RuleAction(Proxy{id}); }
    static RuleAction chain(std::vector<UUID> ids) { return RuleAction(Chain{std::move(ids)}); }
    static RuleAction failover(std::vector<UUID> ids) { return RuleAction(Failover{std::move(ids)}); }

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    const Value& value() const { return value_; }
    // The proxies the action names: [id] for proxy, the list as stored for
    // chain and failover, none for direct and block.
    std::vector<UUID> proxyIDs() const;

    static RuleAction fromJson(const json::Json& value);
    friend bool operator==(const RuleAction&, const RuleAction&) = default;

private:
    Value value_;
};

json::Json toJson(const RuleAction& action);

}  // namespace corvane

template <>
struct std::hash<corvane::RuleAction> {
    std::size_t operator()(const corvane::RuleAction& action) const noexcept;
};
