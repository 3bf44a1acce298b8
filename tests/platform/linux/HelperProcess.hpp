#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

extern char** environ;

namespace corvane::platform::testing {

// A program the test starts (usually through `ip netns exec`) whose standard
// output is read line by line as JSON; stopped by its pid at the end.
class HelperProcess {
public:
    explicit HelperProcess(std::vector<std::string> argv) {
        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        std::vector<char*> raw;
        for (auto& argument : argv) raw.push_back(argument.data());
        raw.push_back(nullptr);
        if (::posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(output[1]);
        reader_ = std::thread([this, fd = output[0]] { read(fd); });
    }
    ~HelperProcess() {
        stop(SIGKILL);
        if (reader_.joinable()) reader_.join();
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    pid_t pid() const { return pid_; }

    int stop(int signal) {
        if (pid_ <= 0) return -1;
        ::kill(pid_, signal);
        return reap();
    }

    // Waits for the program to end by itself (killing it after `limit`).
    int wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                if (reader_.joinable()) reader_.join();
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return stop(SIGKILL);
    }

    // The first line so far or within `limit` that satisfies `match`.
    std::optional<nlohmann::json> waitForLine(const std::function<bool(const nlohmann::json&)>& match,
                                              std::chrono::milliseconds limit = std::chrono::seconds(3)) {
        std::unique_lock guard(lock_);
        std::optional<nlohmann::json> found;
        changed_.wait_for(guard, limit, [&] {
            for (const auto& line : lines_)
                if (match(line)) {
                    found = line;
                    return true;
                }
            return false;
        });
        return found;
    }

    std::vector<nlohmann::json> lines() {
        std::lock_guard guard(lock_);
        return lines_;
    }

private:
    int reap() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

    void read(int fd) {
        std::string pending;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof(buffer))) > 0) {
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end = 0;
            while ((end = pending.find('\n')) != std::string::npos) {
                auto line = nlohmann::json::parse(pending.substr(0, end), nullptr, false);
                pending.erase(0, end + 1);
                std::lock_guard guard(lock_);
                lines_.push_back(std::move(line));
                changed_.notify_all();
            }
        }
        ::close(fd);
    }

    pid_t pid_ = -1;
    std::thread reader_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<nlohmann::json> lines_;
};

}  // namespace corvane::platform::testing
