#pragma once

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "ChildProcess.hpp"

namespace corvane::platform::testing {

// A program the test starts (usually through `ip netns exec`) whose standard
// output is read line by line as JSON; stopped by its pid at the end.
class HelperProcess {
public:
    explicit HelperProcess(std::vector<std::string> argv) {
        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0) return;
        child_.emplace(std::move(argv), output[1]);
        ::close(output[1]);
        reader_ = std::thread([this, fd = output[0]] { read(fd); });
    }
    ~HelperProcess() {
        stop(SIGKILL);
        if (reader_.joinable()) reader_.join();
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    pid_t pid() const { return child_ ? child_->pid() : -1; }

    int stop(int signal) { return child_ ? child_->stop(signal) : -1; }

    // Waits for the program to end by itself (killing it after `limit`).
    int wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (pid() > 0 && std::chrono::steady_clock::now() < deadline) {
            if (const auto status = child_->ended()) {
                if (reader_.joinable()) reader_.join();
                return *status;
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

    std::optional<ChildProcess> child_;
    std::thread reader_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<nlohmann::json> lines_;
};

}  // namespace corvane::platform::testing
