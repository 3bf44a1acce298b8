#include "RuleEditorPresenter.hpp"

#include <algorithm>

#include "CorvaneCore/Presets/PresetCatalog.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::app {

namespace {

std::string portsFieldText(const std::vector<PortRange>& ports) {
    std::vector<std::string> lines;
    for (const PortRange& range : ports) lines.push_back(range.displayText());
    return PatternValidator::text(lines);
}

// The field's entries followed by each addition not already among them.
std::string extended(const std::string& fieldText, const std::vector<std::string>& additions) {
    auto entries = PatternValidator::entries(fieldText);
    for (const std::string& addition : additions)
        if (std::find(entries.begin(), entries.end(), addition) == entries.end()) entries.push_back(addition);
    return PatternValidator::text(entries);
}

bool isListAction(const RuleAction& action, RuleAction::Kind kind) {
    return action.kind() == kind && !action.proxyIDs().empty();
}

}  // namespace

RuleEditorPresenter::RuleEditorPresenter(const AppState& state, Rule rule)
    : state_(state),
      rule_(std::move(rule)),
      applicationsText_(PatternValidator::text(rule_.applications)),
      hostsText_(PatternValidator::text(rule_.hosts)),
      portsText_(portsFieldText(rule_.ports)) {}

std::vector<PatternValidator::EntryError> RuleEditorPresenter::applicationErrors() const {
    return PatternValidator::validateApplications(applicationsText_);
}

std::vector<PatternValidator::EntryError> RuleEditorPresenter::hostErrors() const {
    return PatternValidator::validateHosts(hostsText_);
}

std::vector<PatternValidator::EntryError> RuleEditorPresenter::portErrors() const {
    return PatternValidator::validatePorts(portsText_);
}

bool RuleEditorPresenter::hasErrors() const {
    return !applicationErrors().empty() || !hostErrors().empty() || !portErrors().empty();
}

bool RuleEditorPresenter::canSave() const { return !unicode::trimmed(rule_.name).empty() && !hasErrors(); }

std::optional<Rule> RuleEditorPresenter::save() const {
    if (hasErrors()) return std::nullopt;
    Rule rule = rule_;
    rule.applications = PatternValidator::entries(applicationsText_);
    rule.hosts = PatternValidator::entries(hostsText_);
    rule.ports.clear();
    for (const std::string& entry : PatternValidator::entries(portsText_))
        if (const auto range = PortRange::parsing(entry)) rule.ports.push_back(*range);
    return rule;
}

std::vector<RuleEditorPresenter::ActionOption> RuleEditorPresenter::actionOptions() const {
    std::vector<ActionOption> options{{"Direct", RuleAction::direct()}, {"Block", RuleAction::block()}};
    for (const ProxyServer& proxy : state_.profile().proxies)
        options.push_back({"Proxy: " + proxy.name, RuleAction::proxy(proxy.id)});
    if (isListAction(rule_.action, RuleAction::Kind::chain)) options.push_back({chainLabel(), rule_.action});
    if (isListAction(rule_.action, RuleAction::Kind::failover))
        options.push_back({state_.actionLabel(rule_.action), rule_.action});
    return options;
}

std::optional<std::size_t> RuleEditorPresenter::selectedAction() const {
    const auto options = actionOptions();
    for (std::size_t i = 0; i < options.size(); ++i)
        if (options[i].action == rule_.action) return i;
    return std::nullopt;
}

void RuleEditorPresenter::chooseAction(std::size_t option) {
    const auto options = actionOptions();
    if (option < options.size()) rule_.action = options[option].action;
}

std::string RuleEditorPresenter::chainLabel() const {
    std::string label = "Chain: ";
    bool first = true;
    for (const UUID& id : rule_.action.proxyIDs()) {
        const ProxyServer* proxy = state_.profile().proxy(id);
        if (!proxy) continue;
        label += (first ? "" : " → ") + proxy->name;
        first = false;
    }
    return label;
}

bool RuleEditorPresenter::canBuildProxyLists() const { return state_.profile().proxies.size() >= 2; }

std::vector<UUID> RuleEditorPresenter::currentProxyList() const { return rule_.action.proxyIDs(); }

void RuleEditorPresenter::applyProxyList(ProxyListPurpose purpose, const std::vector<UUID>& ids) {
    if (ids.empty()) {
        rule_.action = RuleAction::direct();
    } else if (ids.size() == 1) {
        rule_.action = RuleAction::proxy(ids.front());
    } else {
        rule_.action = purpose == ProxyListPurpose::chain ? RuleAction::chain(ids) : RuleAction::failover(ids);
    }
}

void RuleEditorPresenter::addPresets(const std::vector<ServicePreset>& presets) {
    if (presets.empty()) return;
    const auto merged = PresetCatalog::merge(presets);
    applicationsText_ = extended(applicationsText_, merged.applications);
    hostsText_ = extended(hostsText_, merged.hosts);
    rule_.matchMode = RuleMatchMode::any;
    const std::string_view name = unicode::trimmed(rule_.name);
    if (name.empty() || name == "New Rule") rule_.name = PresetCatalog::suggestedRuleName(presets);
}

void RuleEditorPresenter::addApps(const std::vector<InstalledApp>& apps) {
    std::vector<std::string> ids;
    for (const InstalledApp& app : apps) ids.push_back(app.id);
    applicationsText_ = extended(applicationsText_, ids);
}

}  // namespace corvane::app
