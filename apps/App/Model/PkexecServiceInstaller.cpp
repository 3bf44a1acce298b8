#include "PkexecServiceInstaller.hpp"

#include <QProcess>

#include "DaemonProbe.hpp"
#include "MainThread.hpp"

namespace corvane::app {

namespace {

// Every answer of a request goes to the requester's context, queued.
ServiceInstaller::ActivationDelegate boundTo(QObject* context, ServiceInstaller::ActivationDelegate delegate) {
    using platform::ExtensionVersion;
    return {MainThread::bind<ExtensionVersion, ExtensionVersion>(context, std::move(delegate.replacing)),
            MainThread::bind<>(context, std::move(delegate.needsUserApproval)),
            MainThread::bind<ActivationResult>(context, std::move(delegate.finished)),
            MainThread::bind<RequestFailure>(context, std::move(delegate.failed))};
}

// The last line the helper (or pkexec) wrote on standard error.
std::string lastLine(const QByteArray& output) {
    const QList<QByteArray> lines = output.trimmed().split('\n');
    return lines.isEmpty() ? std::string() : lines.last().trimmed().toStdString();
}

RequestFailure exitFailure(bool throughPkexec, int code, const std::string& text) {
    if (throughPkexec && code == PkexecServiceInstaller::kPkexecDismissed) {
        return {"pkexec", code, text.empty() ? "The administrator authorisation was dismissed." : text};
    }
    if (throughPkexec && code == PkexecServiceInstaller::kPkexecNotAuthorised) {
        return {"pkexec", code, text.empty() ? "Not authorised to install the tunnel service." : text};
    }
    return {"corvane-service", code,
            text.empty() ? "The service installer stopped with status " + std::to_string(code) + "." : text};
}

}  // namespace

PkexecServiceInstaller::PkexecServiceInstaller(asio::any_io_executor executor, Settings settings, QObject* parent)
    : QObject(parent), executor_(std::move(executor)), settings_(std::move(settings)) {}

void PkexecServiceInstaller::submitActivation(QObject* context, ActivationDelegate delegate) {
    auto bound = boundTo(context, std::move(delegate));
    auto probed = MainThread::bind<DaemonProbe::Result>(this, [this, bound](DaemonProbe::Result result) {
        const auto bundled = settings_.bundle.build();
        if (result.hello && bundled && result.hello->version.build != *bundled) {
            bound.replacing(result.hello->version, {settings_.bundledShortVersion, *bundled});
        }
        runHelper(bound);
    });
    DaemonProbe::run(executor_, settings_.socketPath, probed, settings_.answerTime);
}

void PkexecServiceInstaller::runHelper(ActivationDelegate delegate) {
    const bool throughPkexec = !settings_.runsAsRoot;
    QStringList arguments{"install", QString::fromStdString(settings_.bundle.daemon.string())};
    QString program = QString::fromStdString(settings_.bundle.helper.string());
    if (throughPkexec) {
        delegate.needsUserApproval();
        arguments.prepend(program);
        program = QString::fromStdString(settings_.pkexec.string());
    }
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(process, &QProcess::finished, this, [process, delegate, throughPkexec](int code, QProcess::ExitStatus how) {
        process->deleteLater();
        const std::string text = lastLine(process->readAllStandardError());
        if (how == QProcess::CrashExit) {
            return delegate.failed({"corvane-service", -1, "The service installer crashed."});
        }
        if (code == 0) return delegate.finished(ActivationResult::completed);
        delegate.failed(exitFailure(throughPkexec, code, text));
    });
    connect(process, &QProcess::errorOccurred, this, [process, delegate](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        process->deleteLater();
        delegate.failed({"corvane-service", static_cast<long>(error), process->errorString().toStdString()});
    });
    process->start(program, arguments);
}

void PkexecServiceInstaller::submitPropertiesRequest(QObject* context, PropertiesDelegate delegate) {
    auto found = MainThread::bind<std::vector<ExtensionProperties>>(context, std::move(delegate.found));
    auto failed = MainThread::bind<RequestFailure>(context, std::move(delegate.failed));
    DaemonProbe::run(executor_, settings_.socketPath, [found, failed](DaemonProbe::Result result) {
        const DaemonProbe::Reading reading = DaemonProbe::properties(result);
        if (reading.properties) return found(*reading.properties);
        failed(reading.failure);
    }, settings_.answerTime);
}

}  // namespace corvane::app
