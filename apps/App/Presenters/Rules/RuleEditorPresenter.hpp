#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "CorvaneCore/Matching/PatternValidator.hpp"
#include "CorvaneCore/Models/Rule.hpp"
#include "CorvaneCore/Presets/ServicePreset.hpp"
#include "InstalledApp.hpp"
#include "Model/AppState.hpp"
#include "ProxyListPurpose.hpp"

namespace corvane::app {

// The rule editor's working copy: the name, match mode and action edited
// directly, the three pattern fields as texts validated on every change, and
// what the sub-sheets add. Nothing reaches the profile: save() hands back the
// finished rule. The proxies and labels are read from the model as it is now.
class RuleEditorPresenter {
public:
    struct ActionOption {
        std::string label;
        RuleAction action;
    };

    RuleEditorPresenter(const AppState& state, Rule rule);

    const Rule& rule() const { return rule_; }
    void setName(std::string name) { rule_.name = std::move(name); }
    void setMatchMode(RuleMatchMode mode) { rule_.matchMode = mode; }

    const std::string& applicationsText() const { return applicationsText_; }
    const std::string& hostsText() const { return hostsText_; }
    const std::string& portsText() const { return portsText_; }
    void setApplicationsText(std::string text) { applicationsText_ = std::move(text); }
    void setHostsText(std::string text) { hostsText_ = std::move(text); }
    void setPortsText(std::string text) { portsText_ = std::move(text); }

    std::vector<PatternValidator::EntryError> applicationErrors() const;
    std::vector<PatternValidator::EntryError> hostErrors() const;
    std::vector<PatternValidator::EntryError> portErrors() const;
    bool hasErrors() const;
    // A name of more than spaces and tabs, and no errors.
    bool canSave() const;
    // The finished rule: the entries of the fields, the ports that parse, the
    // name as typed. None while a field has errors.
    std::optional<Rule> save() const;

    // Direct, Block, one per proxy, and the current chain or failover list.
    std::vector<ActionOption> actionOptions() const;
    // The option showing the current action; none when no option does (a
    // deleted proxy), and then the action stays as it is.
    std::optional<std::size_t> selectedAction() const;
    void chooseAction(std::size_t option);
    // "Chain: " and the names of the chain's proxies that exist, joined " → ".
    std::string chainLabel() const;

    // Chains and failover lists need two proxies.
    bool canBuildProxyLists() const;
    // What the chain editor starts from: the list of a chain or failover, the
    // one proxy, or nothing.
    std::vector<UUID> currentProxyList() const;
    // The chain editor's result: none is direct, one a proxy, more a chain or
    // a failover list by purpose.
    void applyProxyList(ProxyListPurpose purpose, const std::vector<UUID>& ids);

    // The presets' patterns are merged in, the fields normalised, the rule
    // matches by app or target, and a blank or "New Rule" name is replaced.
    void addPresets(const std::vector<ServicePreset>& presets);
    // The apps' identifiers are added to the applications.
    void addApps(const std::vector<InstalledApp>& apps);

private:
    const AppState& state_;
    Rule rule_;
    std::string applicationsText_;
    std::string hostsText_;
    std::string portsText_;
};

}  // namespace corvane::app
