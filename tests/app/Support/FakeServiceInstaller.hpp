#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "Model/ServiceInstaller.hpp"

namespace corvane::app::testing {

// An installer the test scripts: each activation runs `activation` with the
// delegate (whose calls reach the requester queued, as from the real one); a
// properties request finds `properties`, or fails with `propertiesFailure`
// when they are none.
class FakeServiceInstaller : public ServiceInstaller {
public:
    std::function<void(const ActivationDelegate&)> activation = [](const ActivationDelegate&) {};
    std::optional<std::vector<ExtensionProperties>> properties = std::vector<ExtensionProperties>{};
    RequestFailure propertiesFailure;

    int activations = 0;
    int propertiesRequests = 0;

    void submitActivation(QObject* context, ActivationDelegate delegate) override;
    void submitPropertiesRequest(QObject* context, PropertiesDelegate delegate) override;
};

}  // namespace corvane::app::testing
