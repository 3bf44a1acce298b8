#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <QObject>
#include <QStringList>

#include "ServiceInstaller.hpp"

namespace corvane::app {

// Runs the root helper `corvane-service` for the service installer and the
// updater alike: directly when the app is root, else through pkexec, which asks
// for an administrator's authorisation. A helper that has started runs to its
// end even when its requester goes; only the answer is then dropped.
class RootHelperRunner : public QObject {
    Q_OBJECT

public:
    struct Settings {
        std::filesystem::path helper;
        std::filesystem::path pkexec = "/usr/bin/pkexec";
        bool runsAsRoot = false;
    };
    // pkexec's own exit codes: the user dismissed its dialog; the user is not
    // authorised or the authorisation failed.
    static constexpr int kPkexecDismissed = 126;
    static constexpr int kPkexecNotAuthorised = 127;

    // None when the helper succeeded.
    using Done = std::function<void(std::optional<RequestFailure>)>;

    explicit RootHelperRunner(Settings settings, QObject* parent = nullptr);

    // Whether a run asks for the administrator's authorisation first.
    bool asksForAuthorisation() const { return !settings_.runsAsRoot; }
    // Runs the helper with `arguments`. `purpose` completes the refusal "Not
    // authorised to …" (say "install the tunnel service"). `done` runs on the
    // main thread, queued, and is dropped when `context` is gone.
    void run(const QStringList& arguments, const std::string& purpose, QObject* context, Done done);

private:
    Settings settings_;
};

}  // namespace corvane::app
