#pragma once

#include <vector>

#include <QString>
#include <QUuid>

namespace corvane::app {

// One third-party component the app ships or links, with its licence text
// compiled in as the resource ":/licences/<licenceResource>.txt".
struct Acknowledgement {
    static constexpr const char* kResourceFolder = ":/licences";

    QUuid id;  // new on every start
    QString name;
    QString purpose;
    QString url;
    QString licenceResource;

    // The fixed list, made once.
    static const std::vector<Acknowledgement>& all();

    // The licence text read from `folder` as strict UTF-8; the missing-text
    // message when the file is absent, unreadable or not valid UTF-8.
    QString licenceText(const QString& folder = kResourceFolder) const;
    QString missingTextMessage() const;
};

}  // namespace corvane::app
