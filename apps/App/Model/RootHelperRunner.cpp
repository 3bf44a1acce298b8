#include "RootHelperRunner.hpp"

#include <QProcess>

#include "MainThread.hpp"

namespace corvane::app {

namespace {

constexpr const char* kHelperDomain = "corvane-service";

// The last line the helper (or pkexec) wrote on standard error.
std::string lastLine(const QByteArray& output) {
    const QList<QByteArray> lines = output.trimmed().split('\n');
    return lines.isEmpty() ? std::string() : lines.last().trimmed().toStdString();
}

// What a helper that ended with `code` reports (none for success): pkexec's
// refusals, else the helper's own last line on standard error.
std::optional<RequestFailure> outcome(bool throughPkexec, int code, const std::string& purpose,
                                                        const std::string& lastErrorLine) {
    if (code == 0) return std::nullopt;
    if (throughPkexec && code == RootHelperRunner::kPkexecDismissed) {
        return RequestFailure{"pkexec", code, "The administrator authorisation was dismissed."};
    }
    if (throughPkexec && code == RootHelperRunner::kPkexecNotAuthorised) {
        return RequestFailure{"pkexec", code, "Not authorised to " + purpose + "."};
    }
    return RequestFailure{kHelperDomain, code,
                          lastErrorLine.empty() ? "The root helper stopped with status " + std::to_string(code) + "."
                                                : lastErrorLine};
}

}  // namespace

RootHelperRunner::RootHelperRunner(Settings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {}

void RootHelperRunner::run(const QStringList& arguments, const std::string& purpose, QObject* context, Done done) {
    auto deliver = MainThread::bind<std::optional<RequestFailure>>(context, std::move(done));
    const bool throughPkexec = asksForAuthorisation();
    QString program = QString::fromStdString(settings_.helper.string());
    QStringList all = arguments;
    if (throughPkexec) {
        all.prepend(program);
        program = QString::fromStdString(settings_.pkexec.string());
    }
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(process, &QProcess::finished, this,
            [process, deliver, throughPkexec, purpose](int code, QProcess::ExitStatus how) {
                process->deleteLater();
                if (how == QProcess::CrashExit) {
                    return deliver(RequestFailure{kHelperDomain, -1, "The root helper crashed."});
                }
                deliver(outcome(throughPkexec, code, purpose, lastLine(process->readAllStandardError())));
            });
    connect(process, &QProcess::errorOccurred, this, [process, deliver](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        process->deleteLater();
        deliver(RequestFailure{kHelperDomain, static_cast<long>(error),
                               "Could not start the root helper: " + process->errorString().toStdString() + "."});
    });
    process->start(program, all);
}

}  // namespace corvane::app
