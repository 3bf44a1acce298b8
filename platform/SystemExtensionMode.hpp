#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>

#include "platform/DiversionBackend.hpp"
#include "platform/ExtensionVersion.hpp"
#include "platform/ProviderHost.hpp"
#include "platform/TransparentProxyProvider.hpp"

namespace corvane::platform {

// Where the daemon keeps its files: $RUNTIME_DIRECTORY (first entry of the list;
// default /run/corvane) for the control socket, $STATE_DIRECTORY (default
// /var/lib/corvane) for the configuration. The only environment the daemon reads.
struct ExtensionDirectories {
    std::filesystem::path runtimeDirectory;
    std::filesystem::path stateDirectory;

    static ExtensionDirectories fromEnvironment();
    // The same from the two variables' values (null when unset).
    static ExtensionDirectories fromValues(const char* runtimeDirectory, const char* stateDirectory);
};

using ProviderFactory = std::function<std::shared_ptr<TransparentProxyProvider>(ProviderHost&)>;
// Makes the diversion over the daemon's event loops (the first one is the main loop).
using DiversionFactory = std::function<std::unique_ptr<DiversionBackend>(std::vector<asio::any_io_executor>)>;

// Builds the host and the one provider, opens the control socket and runs the
// event loops for ever. SIGTERM and SIGINT stop a running session (bounded) and end the process
// with status 0.
[[noreturn]] void startSystemExtensionMode(ProviderFactory makeProvider,
                                           DiversionFactory makeDiversion,
                                           ExtensionVersion version);

}  // namespace corvane::platform
