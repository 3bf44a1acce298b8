#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include <asio/any_io_executor.hpp>

#include <QObject>

#include "BundledDaemon.hpp"
#include "DaemonProbe.hpp"
#include "ServiceInstaller.hpp"

namespace corvane::app {

// Installs the bundled daemon as a system service through the root helper
// `corvane-service`: run directly when the app is root, else through pkexec,
// which asks for the administrator's authorisation. Properties come from the
// running daemon's HELLO.
class PkexecServiceInstaller : public QObject, public ServiceInstaller {
    Q_OBJECT

public:
    struct Settings {
        std::filesystem::path socketPath;
        BundledDaemon bundle;
        std::string bundledShortVersion;
        std::filesystem::path pkexec = "/usr/bin/pkexec";
        bool runsAsRoot = false;
        // How long the running daemon may take to say who it is.
        std::chrono::milliseconds answerTime = DaemonProbe::kAnswerTime;
    };

    // pkexec's own exit codes: the user dismissed the dialog; not authorised or
    // the authorisation failed.
    static constexpr int kPkexecDismissed = 126;
    static constexpr int kPkexecNotAuthorised = 127;

    PkexecServiceInstaller(asio::any_io_executor executor, Settings settings, QObject* parent = nullptr);

    void submitActivation(QObject* context, ActivationDelegate delegate) override;
    void submitPropertiesRequest(QObject* context, PropertiesDelegate delegate) override;

private:
    void runHelper(ActivationDelegate delegate);

    asio::any_io_executor executor_;
    Settings settings_;
};

}  // namespace corvane::app
