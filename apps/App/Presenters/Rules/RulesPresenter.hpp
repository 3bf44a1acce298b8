#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <QObject>

#include "CorvaneCore/Models/Rule.hpp"
#include "Model/AppState.hpp"

namespace corvane::app {

// The Rules page: one row per rule of the profile in evaluation order, and the
// changes the page makes to the list. Every change is made on the profile and
// saved at once, with one save per operation. A row is addressed by its
// position and the id it showed, so a repeated id never changes another rule.
class RulesPresenter : public QObject {
    Q_OBJECT

public:
    struct Row {
        UUID id;
        std::string name;
        bool isEnabled = true;
        std::string summary;
        std::string actionLabel;
    };

    static constexpr const char* kFooter =
        "Rules are evaluated top to bottom; the first match wins. Connections matching no rule use the default "
        "action (see Settings).";

    explicit RulesPresenter(AppState& state, QObject* parent = nullptr);

    std::vector<Row> rows() const;
    // The applications, the hosts and the ports of a rule, joined with " → ".
    static std::string summary(const Rule& rule);

    // The rule a row showed, for its editor; none when it is gone.
    std::optional<Rule> rule(std::size_t row, const UUID& id) const;
    // A fresh rule for the add sheet: "New Rule", enabled, empty, direct, all.
    static Rule newRule();

    void setEnabled(std::size_t row, const UUID& id, bool enabled);
    void move(const std::vector<std::size_t>& offsets, std::size_t destination);
    // The list's delete command: the rules at the offsets.
    void remove(const std::vector<std::size_t>& offsets);
    // The row's "Delete": that rule; the profile is saved even when it is gone.
    void remove(std::size_t row, const UUID& id);
    // The editor saved: the rule at the row is replaced, unless it is gone.
    void replace(std::size_t row, const Rule& edited);
    void append(const Rule& rule);

signals:
    void changed();

private:
    void save(std::vector<Rule> rules);

    AppState& state_;
};

}  // namespace corvane::app
