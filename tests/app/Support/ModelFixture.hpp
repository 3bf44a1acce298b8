#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "EventLoop.hpp"
#include "FakeDaemonConnection.hpp"
#include "FakeProxyProber.hpp"
#include "FakeServiceInstaller.hpp"
#include "ManualScheduler.hpp"
#include "Model/AppState.hpp"
#include "Model/ExtensionManager.hpp"
#include "platform/linux/TemporaryDirectory.hpp"
#include "platform/testing/CaptureLogSink.hpp"
#include "platform/testing/ManualClock.hpp"

namespace corvane::app::testing {

// The model over fakes: a daemon, an installer, a prober and a scheduler driven
// by the test, a manual clock, profile folders in a temporary directory and a
// capture of the log.
class ModelFixture : public ::testing::Test {
protected:
    platform::testing::ScopedLogCapture log;
    platform::testing::TemporaryDirectory folder;
    FakeDaemonConnection daemon;
    FakeServiceInstaller installer;
    FakeProxyProber prober;
    ManualScheduler scheduler;
    platform::testing::ManualClock clock{Date{1000}};
    std::optional<std::string> bundledBuild = "13";

    std::filesystem::path sharedFolder() const { return folder.path() / "shared"; }
    std::filesystem::path userDataFolder() const { return folder.path() / "data"; }
    std::filesystem::path currentFile() const { return sharedFolder() / "profile.json"; }

    AppEnvironment environment() {
        return {daemon,
                installer,
                prober,
                scheduler,
                clock.clock(),
                [this] { return SharedConstants::Folders{sharedFolder(), userDataFolder()}; },
                [this] { return bundledBuild; },
                "/usr/bin/corvane",
                "127.0.0.1",
                443};
    }
    ExtensionManager::Dependencies managerDependencies() {
        return {daemon, installer, [this] { return bundledBuild; }, "/usr/bin/corvane"};
    }

    // The model after its start-up has run.
    std::unique_ptr<AppState> startedState() {
        auto state = std::make_unique<AppState>(environment());
        settle();
        return state;
    }

    // The saves `operation` makes (each save reaches the daemon's store once).
    std::size_t savesDuring(const std::function<void()>& operation) {
        const std::size_t before = daemon.saves.size();
        operation();
        settle();
        return daemon.saves.size() - before;
    }

    std::vector<std::string> logLines() const { return log->lines(); }
    bool logged(const std::string& line) const {
        const auto lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

}  // namespace corvane::app::testing
