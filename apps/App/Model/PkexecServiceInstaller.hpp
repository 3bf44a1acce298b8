#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include <asio/any_io_executor.hpp>

#include <QObject>

#include "BundledDaemon.hpp"
#include "DaemonProbe.hpp"
#include "RootHelperRunner.hpp"
#include "ServiceInstaller.hpp"

namespace corvane::app {

// Installs the bundled daemon as a system service through the root helper
// `corvane-service install DAEMON` (see RootHelperRunner). Properties come from
// the running daemon's HELLO.
class PkexecServiceInstaller : public QObject, public ServiceInstaller {
    Q_OBJECT

public:
    struct Settings {
        std::filesystem::path socketPath;
        BundledDaemon bundle;
        std::string bundledShortVersion;
        // How long the running daemon may take to say who it is.
        std::chrono::milliseconds answerTime = DaemonProbe::kAnswerTime;
    };

    PkexecServiceInstaller(asio::any_io_executor executor, Settings settings, RootHelperRunner& helper,
                           QObject* parent = nullptr);

    void submitActivation(QObject* context, ActivationDelegate delegate) override;
    void submitPropertiesRequest(QObject* context, PropertiesDelegate delegate) override;

private:
    void runHelper(ActivationDelegate delegate);

    asio::any_io_executor executor_;
    Settings settings_;
    RootHelperRunner& helper_;
};

}  // namespace corvane::app
