#include "PkexecServiceInstaller.hpp"

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

}  // namespace

PkexecServiceInstaller::PkexecServiceInstaller(asio::any_io_executor executor, Settings settings,
                                               RootHelperRunner& helper, QObject* parent)
    : QObject(parent), executor_(std::move(executor)), settings_(std::move(settings)), helper_(helper) {}

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
    if (helper_.asksForAuthorisation()) delegate.needsUserApproval();
    helper_.run({"install", QString::fromStdString(settings_.bundle.daemon.string())}, "install the tunnel service",
                this, [delegate](std::optional<RequestFailure> failure) {
                    if (failure) return delegate.failed(*failure);
                    delegate.finished(ActivationResult::completed);
                });
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
