#pragma once

#include <filesystem>
#include <memory>
#include <thread>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include "platform/ExtensionVersion.hpp"
#include "platform/host/ConfigurationStore.hpp"
#include "platform/host/ControlServer.hpp"
#include "platform/host/HostTestProvider.hpp"
#include "platform/host/Session.hpp"
#include "platform/testing/FakeDiversionBackend.hpp"

namespace corvane::app::testing {

// The daemon's host side (configuration store, session, control socket) on a
// thread of its own, with the host tests' provider: it answers a message with
// its bytes reversed, keeps "hold" unanswered and drops "drop". Destroying it
// ends every connection at once, as a killed daemon does.
class InProcessDaemon {
public:
    InProcessDaemon(const std::filesystem::path& folder, platform::ExtensionVersion version = {"1.0", "7"});
    ~InProcessDaemon();
    InProcessDaemon(const InProcessDaemon&) = delete;
    InProcessDaemon& operator=(const InProcessDaemon&) = delete;

    std::filesystem::path socketPath() const { return folder_ / "control.sock"; }
    platform::ConfigurationStore& store() { return *store_; }
    platform::hosttest::HostTestProvider& provider() { return *provider_; }

private:
    std::filesystem::path folder_;
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> work_{context_.get_executor()};
    std::unique_ptr<platform::ConfigurationStore> store_;
    platform::testing::FakeDiversionBackend diversion_{context_.get_executor()};
    std::unique_ptr<platform::Session> session_;
    std::shared_ptr<platform::hosttest::HostTestProvider> provider_;
    std::unique_ptr<platform::ControlServer> server_;
    std::thread runner_;
};

}  // namespace corvane::app::testing
