#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace corvane::platform::testing {

// A program started for a test and stopped by its pid when the test ends;
// `output`, when given, becomes its standard output.
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> argv, int output = -1) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (output >= 0) posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
        std::vector<char*> raw;
        for (auto& argument : argv) raw.push_back(argument.data());
        raw.push_back(nullptr);
        if (::posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() { stop(SIGKILL); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Sends the signal and reaps the child; returns its wait status.
    int stop(int signal) {
        if (pid_ <= 0) return -1;
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

    // The wait status once the child has ended by itself (and is reaped).
    std::optional<int> ended() {
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) != pid_) return std::nullopt;
        pid_ = -1;
        return status;
    }

    // Waits until the child has executed its program (its exe is `path`).
    bool waitUntilRunning(const std::string& path, std::chrono::milliseconds limit = std::chrono::seconds(2)) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        char buffer[4096];
        while (std::chrono::steady_clock::now() < deadline) {
            const auto length = ::readlink(("/proc/" + std::to_string(pid_) + "/exe").c_str(), buffer, sizeof(buffer));
            if (length > 0 && std::string(buffer, static_cast<std::size_t>(length)) == path) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

private:
    pid_t pid_ = -1;
};

}  // namespace corvane::platform::testing
