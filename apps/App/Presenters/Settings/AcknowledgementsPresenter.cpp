#include "AcknowledgementsPresenter.hpp"

#include <QUrl>

namespace corvane::app {

AcknowledgementsPresenter::AcknowledgementsPresenter(const std::vector<Acknowledgement>& entries)
    : entries_(entries) {
    if (!entries_.empty()) selection_ = entries_.front().id;
}

const Acknowledgement* AcknowledgementsPresenter::selected() const {
    for (const Acknowledgement& entry : entries_) {
        if (selection_ && entry.id == *selection_) return &entry;
    }
    return entries_.empty() ? nullptr : &entries_.front();
}

bool AcknowledgementsPresenter::hasLink(const Acknowledgement& entry) {
    const QUrl url(entry.url, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == "https" || url.scheme() == "http") && !url.host().isEmpty();
}

}  // namespace corvane::app
