#pragma once

#include <optional>
#include <vector>

#include <QUuid>

#include "Presenters/Settings/Acknowledgement.hpp"

namespace corvane::app {

// The acknowledgements sheet's selection: the first entry is selected when the
// sheet opens, and an id not in the list reads as the first entry too.
class AcknowledgementsPresenter {
public:
    explicit AcknowledgementsPresenter(const std::vector<Acknowledgement>& entries = Acknowledgement::all());

    const std::vector<Acknowledgement>& entries() const { return entries_; }
    void select(const QUuid& id) { selection_ = id; }
    // None only when the list is empty.
    const Acknowledgement* selected() const;
    // The header link shows only for a web address.
    static bool hasLink(const Acknowledgement& entry);

private:
    std::vector<Acknowledgement> entries_;
    std::optional<QUuid> selection_;
};

}  // namespace corvane::app
