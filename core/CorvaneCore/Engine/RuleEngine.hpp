#pragma once

#include "CorvaneCore/Engine/CompiledRule.hpp"
#include "CorvaneCore/Engine/FlowDescriptor.hpp"
#include "CorvaneCore/Engine/RuleIndex.hpp"
#include "CorvaneCore/Engine/UDPInterception.hpp"
#include "CorvaneCore/Models/Profile.hpp"
#include "CorvaneCore/Models/Rule.hpp"
#include "CorvaneCore/Models/RuleAction.hpp"
#include "CorvaneCore/Support/UUID.hpp"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace corvane {

// Decides what happens to a flow: the first enabled rule of the profile that
// matches, else the profile's default action. The profile is prepared for
// matching once, when the engine is made, and never changes afterwards; a
// changed profile gets a new engine.
struct RuleEngine {
    struct Verdict {
        RuleAction action;
        std::optional<Rule> matchedRule;  // absent when the default action applies
        friend bool operator==(const Verdict&, const Verdict&) = default;
    };

    // The outcome of one rule against one flow, with the reason in words.
    class RuleMatchResult {
    public:
        struct Match {
            std::string reason;
            friend bool operator==(const Match&, const Match&) = default;
        };
        struct NoMatch {
            std::string reason;
            friend bool operator==(const NoMatch&, const NoMatch&) = default;
        };
        struct SkippedDisabled {
            friend bool operator==(const SkippedDisabled&, const SkippedDisabled&) = default;
        };

        static RuleMatchResult match(std::string reason) {
            RuleMatchResult result;
            result.value_.emplace<Match>(Match{std::move(reason)});
            return result;
        }
        static RuleMatchResult noMatch(std::string reason) {
            RuleMatchResult result;
            result.value_.emplace<NoMatch>(NoMatch{std::move(reason)});
            return result;
        }
        static RuleMatchResult skippedDisabled() { return RuleMatchResult(); }

        bool isMatch() const { return std::holds_alternative<Match>(value_); }
        // The payload text, or "Rule is disabled".
        std::string reason() const;
        const std::variant<SkippedDisabled, Match, NoMatch>& value() const { return value_; }

        friend bool operator==(const RuleMatchResult&, const RuleMatchResult&) = default;

    private:
        RuleMatchResult() = default;
        std::variant<SkippedDisabled, Match, NoMatch> value_;
    };

    struct Trace {
        struct Step {
            UUID id;  // the rule's own id
            Rule rule;
            RuleMatchResult result;
            bool isDecisive = false;  // exactly when the result is a match
        };
        std::vector<Step> steps;
        RuleAction action;
        std::optional<Rule> matchedRule;

        bool usedDefaultAction() const { return !matchedRule.has_value(); }
    };

    const Profile profile;

    explicit RuleEngine(Profile profile);

    // Run for every TCP flow and every UDP datagram.
    Verdict verdict(const FlowDescriptor& flow) const;
    RuleAction action(const FlowDescriptor& flow) const;
    // The same decision with a step for every rule tried, disabled ones included.
    Trace trace(const FlowDescriptor& flow) const;
    // One rule against one flow: the single source of both answers.
    RuleMatchResult evaluate(const Rule& rule, const FlowDescriptor& flow) const;

private:
    std::vector<CompiledRule> compiledRules_;  // one for each rule of the profile, in order
    RuleIndex index_;                          // the rules a verdict needs to try
};

}  // namespace corvane
