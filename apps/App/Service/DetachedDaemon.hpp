#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/Logger.hpp"

namespace corvane::service {

// The daemon started by the helper itself where systemd is not the init system
// (containers): in a session of its own, with its output discarded, recorded in
// a pid file in the runtime folder with its start time, so that a later install
// stops exactly that process and never one that reused its pid.
class DetachedDaemon {
public:
    struct Record {
        pid_t pid = 0;
        std::uint64_t startTime = 0;  // clock ticks after boot

        friend bool operator==(const Record&, const Record&) = default;
    };

    static constexpr auto kStopWait = std::chrono::seconds(8);
    static constexpr auto kKillWait = std::chrono::seconds(2);
    static constexpr auto kStartWait = std::chrono::seconds(10);

    DetachedDaemon(std::filesystem::path runtimeDirectory, std::filesystem::path stateDirectory,
                   const platform::Logger& log);

    // Stops the daemon the pid file names, if that process still runs:
    // SIGTERM, then SIGKILL when it lingers.
    void stopPrevious();
    // Starts `daemon`, records it, and waits until its control socket accepts a
    // connection. Throws ServiceError when another daemon serves the socket, or
    // when the new one ends or stays silent.
    Record start(const std::filesystem::path& daemon);

    std::filesystem::path pidFile() const { return runtimeDirectory_ / "corvane-tunnel.pid"; }
    std::filesystem::path socketPath() const { return runtimeDirectory_ / "control.sock"; }

    // "PID START-TIME" with an optional line feed.
    static std::optional<Record> parse(std::string_view text);
    // The running (not ended, not zombie) process `pid`'s record.
    static std::optional<Record> running(pid_t pid);

private:
    bool socketAnswers() const;
    bool waitUntilGone(const Record& record, std::chrono::seconds limit) const;

    std::filesystem::path runtimeDirectory_;
    std::filesystem::path stateDirectory_;
    const platform::Logger& log_;
};

}  // namespace corvane::service
