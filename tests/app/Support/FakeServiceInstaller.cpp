#include "FakeServiceInstaller.hpp"

#include "Model/MainThread.hpp"

namespace corvane::app::testing {

void FakeServiceInstaller::submitActivation(QObject* context, ActivationDelegate delegate) {
    ++activations;
    using platform::ExtensionVersion;
    activation({MainThread::bind<ExtensionVersion, ExtensionVersion>(context, std::move(delegate.replacing)),
                MainThread::bind<>(context, std::move(delegate.needsUserApproval)),
                MainThread::bind<ActivationResult>(context, std::move(delegate.finished)),
                MainThread::bind<RequestFailure>(context, std::move(delegate.failed))});
}

void FakeServiceInstaller::submitPropertiesRequest(QObject* context, PropertiesDelegate delegate) {
    ++propertiesRequests;
    if (!properties) return MainThread::bind<RequestFailure>(context, std::move(delegate.failed))(propertiesFailure);
    MainThread::bind<std::vector<ExtensionProperties>>(context, std::move(delegate.found))(*properties);
}

}  // namespace corvane::app::testing
