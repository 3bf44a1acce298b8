#pragma once

#include <filesystem>
#include <string>

#include "Model/AppState.hpp"
#include "Model/AsioProxyProber.hpp"
#include "Model/AsioWorker.hpp"
#include "Model/ControlSocketConnection.hpp"
#include "Model/PkexecServiceInstaller.hpp"
#include "Model/QtScheduler.hpp"
#include "Shared/ProductVersion.hpp"

namespace corvane::app::testing {

// The app's model over the real Linux services, for the tests against a real
// daemon: it talks to the daemon at `socket` and keeps its profile under
// `folder`. Its probes go to 127.0.0.1:9, which nothing answers.
struct RealAppModel {
    RealAppModel(const std::filesystem::path& socket, const std::filesystem::path& folder)
        : daemon(worker.executor(), socket),
          rootHelper({{}, "/usr/bin/pkexec", true}),
          installer(worker.executor(), {socket, BundledDaemon{}, std::string(ProductVersion::shortVersion)},
                    rootHelper),
          prober(worker.executor()),
          state({daemon, installer, prober, scheduler, platform::systemClock(),
                 [folder] { return SharedConstants::Folders{folder / "shared", folder / "data"}; },
                 [] { return std::string(ProductVersion::build); }, "corvane-e2e", "127.0.0.1", 9}) {}

    AsioWorker worker;
    ControlSocketConnection daemon;
    RootHelperRunner rootHelper;
    PkexecServiceInstaller installer;
    AsioProxyProber prober;
    QtScheduler scheduler;
    AppState state;
};

}  // namespace corvane::app::testing
