#pragma once

#include <optional>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "Model/AppState.hpp"
#include "Presenters/DesktopServices.hpp"

namespace corvane::app {

// The Settings page without its widgets: the profile checks, the default
// action, the extension's status, the version text and the profile's export,
// import and location. Everything is read from the model on every call.
class SettingsPresenter : public QObject {
    Q_OBJECT

public:
    struct Check {
        ProfileCodec::Severity severity;
        QString message;
    };

    SettingsPresenter(AppState& state, DesktopServices& desktop, QObject* parent = nullptr);

    // The profile's validation findings; the section shows only with some.
    std::vector<Check> profileChecks() const;

    // "Direct", "Block", then "Proxy: " + name for every proxy in order.
    QStringList defaultActionOptions() const;
    // The option of the profile's default action; none for a chain, a failover
    // or a proxy that no longer exists.
    std::optional<int> defaultActionIndex() const;
    // Sets the default action to the option and saves, when that changes it.
    void chooseDefaultAction(int index);

    QString extensionStatusText() const;
    void installExtension();

    // This build's short version and build, "1.0 (42)".
    static QString versionText();

    // The profile file's path; empty when the system offers no place for it.
    QString profileLocation() const;
    void showProfileInFileManager();
    // Asks for a file and writes the profile there once, passwords included.
    void exportProfile();
    // Asks for a file, reads a profile document or bare profile from it, and
    // makes it the profile; "Import failed: …" leaves the profile as it was.
    void importProfile();

signals:
    // The profile or the extension's status changed: what the page shows from
    // the model. Records polls, the engine's status and errors leave it alone.
    void changed();

private:
    AppState& state_;
    DesktopServices& desktop_;
};

}  // namespace corvane::app
