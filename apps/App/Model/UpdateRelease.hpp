#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace corvane::app {

// The newest release as the update feed describes it.
struct UpdateRelease {
    QString version;
    QString build;
    QString releaseNotes;
    QUrl archiveUrl;
    qint64 length = 0;
    // The Ed25519 signature of version, build and the archive's digest, 64 bytes.
    QByteArray signature;

    friend bool operator==(const UpdateRelease&, const UpdateRelease&) = default;
};

}  // namespace corvane::app
