#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace corvane::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text);

// One accepted connection of a scripted server, with blocking reads bounded
// by a short receive time-out so that a broken test fails instead of hanging.
class PeerConnection {
public:
    explicit PeerConnection(int fd);
    ~PeerConnection();
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    // Exactly `count` bytes; throws when the stream ends or stalls first.
    Bytes read(std::size_t count);
    // Bytes up to and including `terminator`.
    std::string readUntil(std::string_view terminator);
    void write(const Bytes& bytes);
    void write(std::string_view text);
    // True when the client closes its end (no more bytes) within the time-out.
    bool sawEndOfStream();
    // Answers nothing and discards what arrives until the client closes the
    // connection (true) or the receive time-out passes (false).
    bool stall();
    // Writes back whatever arrives until the client closes the connection.
    void echoUntilClosed();
    int fd() const { return fd_; }

private:
    int fd_;
};

// A TCP server on 127.0.0.1 at a free port. It accepts connections one
// after another and runs the script on each; failures of the script are
// reported as test failures when the server is destroyed.
class ScriptedServer {
public:
    using Script = std::function<void(PeerConnection&)>;

    explicit ScriptedServer(Script script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return port_; }
    int acceptedCount() const { return accepted_.load(); }

private:
    void serve();

    Script script_;
    int listener_;
    std::uint16_t port_;
    std::atomic<int> accepted_{0};
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<std::string> failures_;
    std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound, then closed).
std::uint16_t closedPort();

// A listener whose accept queue is full: further connects never complete.
class FullBacklogListener {
public:
    FullBacklogListener();
    ~FullBacklogListener();
    std::uint16_t port() const { return port_; }

private:
    int listener_;
    int filler_;
    std::uint16_t port_;
};

}  // namespace corvane::testing
