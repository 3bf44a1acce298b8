#include "UpdateDialogContent.hpp"

#include <algorithm>

#include "Presenters/FormatBytes.hpp"

namespace corvane::app {

namespace {

using Stage = UpdateSession::Stage;
using Action = UpdateDialogContent::Action;
using Progress = UpdateDialogContent::Progress;

QString releaseName(const UpdateSession& session) {
    if (!session.release) return {};
    return session.release->version + " (" + session.release->build + ")";
}

// A count of bytes received or announced, never negative.
QString size(qint64 bytes) { return formatBytes(static_cast<std::uint64_t>(std::max<qint64>(bytes, 0))); }

}  // namespace

UpdateDialogContent UpdateDialogContent::of(const UpdateSession& session, const QString& currentVersion) {
    UpdateDialogContent content;
    const QString release = releaseName(session);
    switch (session.stage) {
    case Stage::idle: break;
    case Stage::checking:
        content.title = "Checking for updates…";
        content.progress = Progress::busy;
        content.buttons = {{"Cancel", Action::dismiss, false}};
        break;
    case Stage::upToDate:
        content.title = "You’re up to date!";
        content.message = "Corvane " + currentVersion + " is the newest version available.";
        content.buttons = {{"OK", Action::dismiss, true}};
        break;
    case Stage::updateFound:
        content.title = "A new version of Corvane is available!";
        content.message = "Corvane " + release + " is now available — you have " + currentVersion +
                          ". Would you like to install it now?";
        content.releaseNotes = session.release->releaseNotes;
        content.buttons = {{"Later", Action::dismiss, false}, {"Install Update", Action::install, true}};
        break;
    case Stage::downloading:
        content.title = "Downloading Corvane " + release + "…";
        content.message = size(session.received) + " of " + size(session.release->length);
        content.progress = Progress::bytes;
        content.progressValue = session.received;
        content.progressMaximum = session.release->length;
        content.buttons = {{"Cancel", Action::dismiss, false}};
        break;
    case Stage::installing:
        content.title = "Installing Corvane " + release + "…";
        content.progress = Progress::busy;
        content.closable = false;
        break;
    case Stage::installed:
        content.title = "Corvane " + release + " is installed.";
        content.message = "Relaunch Corvane to use the new version.";
        content.buttons = {{"Later", Action::dismiss, false}, {"Relaunch", Action::relaunch, true}};
        break;
    case Stage::failed:
        content.title = "Update Error";
        content.message = session.error;
        content.buttons = {{"OK", Action::dismiss, true}};
        break;
    }
    return content;
}

}  // namespace corvane::app
