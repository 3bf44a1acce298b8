#pragma once

#include <vector>

#include <QString>

#include "Model/UpdateSession.hpp"

namespace corvane::app {

// What the update dialog shows for one state of the updater's session.
struct UpdateDialogContent {
    enum class Progress { none, busy, bytes };
    enum class Action { dismiss, install, relaunch };
    struct Button {
        QString label;
        Action action;
        bool isDefault = false;

        friend bool operator==(const Button&, const Button&) = default;
    };

    QString title;
    QString message;
    // Shown only when the session offers a release.
    QString releaseNotes;
    Progress progress = Progress::none;
    qint64 progressValue = 0;
    qint64 progressMaximum = 0;
    // In order, left to right.
    std::vector<Button> buttons;
    // Whether closing the dialog may end the session (not while installing).
    bool closable = true;

    // `currentVersion`: this app's "<version> (<build>)".
    static UpdateDialogContent of(const UpdateSession& session, const QString& currentVersion);
};

}  // namespace corvane::app
