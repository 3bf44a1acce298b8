#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include <asio/any_io_executor.hpp>

#include "ServiceInstaller.hpp"
#include "platform/Error.hpp"
#include "platform/host/ControlClient.hpp"

namespace corvane::app {

// Asks the daemon behind a control socket who it is (HELLO), on a connection of
// its own that it closes again. A daemon that accepts but does not answer in
// time counts as a connection that timed out.
class DaemonProbe {
public:
    static constexpr std::chrono::milliseconds kAnswerTime{5000};

    struct Result {
        platform::Error connectError;                           // empty when the connection opened
        std::optional<platform::ControlClient::Hello> hello;  // none when it was not answered
    };

    // `done` runs once, on the executor's thread.
    static void run(asio::any_io_executor executor, const std::filesystem::path& socketPath,
                    std::function<void(Result)> done, std::chrono::milliseconds answerTime = kAnswerTime);

    // The properties the result stands for: a daemon that answers is installed
    // and enabled; a socket that refuses us (not root, not in the group
    // "corvane") is a service that denies this account; no socket or nobody
    // listening is no service. Other connection errors fail the request.
    struct Reading {
        std::optional<std::vector<ExtensionProperties>> properties;
        RequestFailure failure;
    };
    static Reading properties(const Result& result);
};

}  // namespace corvane::app
