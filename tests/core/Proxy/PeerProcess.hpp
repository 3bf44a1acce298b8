#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace corvane::testing {

// A folder of its own for one peer's configuration, log and pid files,
// writable by the unprivileged user the peers drop to; removed at the end.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path write(const std::string& name, const std::string& content) const;

private:
    std::filesystem::path path_;
};

// A real proxy daemon started in the foreground, with its output in a log
// file; ready once its loopback port accepts connections. Stopped by its
// process id (SIGTERM, then SIGKILL if it lingers) when destroyed.
class PeerProcess {
public:
    PeerProcess(const std::string& program, const std::vector<std::string>& arguments, std::uint16_t port,
                const std::filesystem::path& log);
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    bool ready() const { return ready_; }

    static bool installed(const std::string& program);

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

// A UDP server on 127.0.0.1 that answers each datagram with "echo:" and the
// datagram, so a test sees that it went through.
class UDPEchoServer {
public:
    UDPEchoServer();
    ~UDPEchoServer();
    std::uint16_t port() const { return port_; }

private:
    int fd_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace corvane::testing
