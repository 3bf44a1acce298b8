#include "RulesPresenter.hpp"

#include "Presenters/ListMove.hpp"
#include "Presenters/RowAddress.hpp"

namespace corvane::app {

namespace {

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? separator : "") + parts[i];
    return text;
}

}  // namespace

RulesPresenter::RulesPresenter(AppState& state, QObject* parent) : QObject(parent), state_(state) {
    connect(&state_, &AppState::profileChanged, this, &RulesPresenter::changed);
}

std::vector<RulesPresenter::Row> RulesPresenter::rows() const {
    std::vector<Row> rows;
    for (const Rule& rule : state_.profile().rules)
        rows.push_back({rule.id, rule.name, rule.isEnabled, summary(rule), state_.actionLabel(rule.action)});
    return rows;
}

std::string RulesPresenter::summary(const Rule& rule) {
    std::vector<std::string> parts{rule.applications.empty() ? "Any app" : joined(rule.applications, ", "),
                                   rule.hosts.empty() ? "any host" : joined(rule.hosts, ", ")};
    if (!rule.ports.empty()) {
        std::vector<std::string> ports;
        for (const PortRange& range : rule.ports) ports.push_back(range.displayText());
        parts.push_back("ports " + joined(ports, ", "));
    }
    return joined(parts, " → ");
}

std::optional<Rule> RulesPresenter::rule(std::size_t row, const UUID& id) const {
    const auto& rules = state_.profile().rules;
    const auto at = locateRow(rules, row, id);
    if (!at) return std::nullopt;
    return rules[*at];
}

Rule RulesPresenter::newRule() {
    Rule rule;
    rule.id = UUID::random();
    rule.name = "New Rule";
    rule.isEnabled = true;
    rule.action = RuleAction::direct();
    rule.matchMode = RuleMatchMode::all;
    return rule;
}

void RulesPresenter::setEnabled(std::size_t row, const UUID& id, bool enabled) {
    auto rules = state_.profile().rules;
    const auto at = locateRow(rules, row, id);
    if (!at) return;
    rules[*at].isEnabled = enabled;
    save(std::move(rules));
}

void RulesPresenter::move(const std::vector<std::size_t>& offsets, std::size_t destination) {
    auto rules = state_.profile().rules;
    moveElements(rules, offsets, destination);
    save(std::move(rules));
}

void RulesPresenter::remove(const std::vector<std::size_t>& offsets) {
    auto rules = state_.profile().rules;
    removeElements(rules, offsets);
    save(std::move(rules));
}

void RulesPresenter::remove(std::size_t row, const UUID& id) {
    auto rules = state_.profile().rules;
    if (const auto at = locateRow(rules, row, id)) removeElements(rules, {*at});
    save(std::move(rules));
}

void RulesPresenter::replace(std::size_t row, const Rule& edited) {
    auto rules = state_.profile().rules;
    const auto at = locateRow(rules, row, edited.id);
    if (!at) return;
    rules[*at] = edited;
    save(std::move(rules));
}

void RulesPresenter::append(const Rule& rule) {
    auto rules = state_.profile().rules;
    rules.push_back(rule);
    save(std::move(rules));
}

void RulesPresenter::save(std::vector<Rule> rules) {
    Profile profile = state_.profile();
    profile.rules = std::move(rules);
    state_.setProfile(std::move(profile));
    state_.saveProfile();
}

}  // namespace corvane::app
