#include "ScriptedServer.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace corvane::testing {
namespace {

constexpr int receiveTimeoutMilliseconds = 3000;

int loopbackListener(int backlog, std::uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, backlog) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

bool waitReadable(int fd, int milliseconds) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, milliseconds) == 1;
}

}  // namespace

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

PeerConnection::PeerConnection(int fd) : fd_(fd) {}

PeerConnection::~PeerConnection() { close(fd_); }

Bytes PeerConnection::read(std::size_t count) {
    Bytes bytes(count);
    std::size_t held = 0;
    while (held < count) {
        if (!waitReadable(fd_, receiveTimeoutMilliseconds)) throw std::runtime_error("peer: read timed out");
        const ssize_t got = recv(fd_, bytes.data() + held, count - held, 0);
        if (got <= 0) throw std::runtime_error("peer: stream ended after " + std::to_string(held) + " bytes");
        held += static_cast<std::size_t>(got);
    }
    return bytes;
}

std::string PeerConnection::readUntil(std::string_view terminator) {
    std::string text;
    while (!text.ends_with(terminator)) {
        const Bytes byte = read(1);
        text.push_back(static_cast<char>(byte[0]));
    }
    return text;
}

void PeerConnection::write(const Bytes& bytes) {
    if (send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("peer: write failed");
    }
}

void PeerConnection::write(std::string_view text) { write(bytesOf(text)); }

bool PeerConnection::sawEndOfStream() {
    char byte = 0;
    if (!waitReadable(fd_, receiveTimeoutMilliseconds)) return false;
    const ssize_t got = recv(fd_, &byte, 1, 0);
    return got == 0 || (got < 0 && errno == ECONNRESET);
}

bool PeerConnection::stall() {
    while (waitReadable(fd_, receiveTimeoutMilliseconds)) {
        char buffer[256];
        if (recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
    }
    return false;
}

void PeerConnection::echoUntilClosed() {
    while (waitReadable(fd_, receiveTimeoutMilliseconds)) {
        char buffer[4096];
        const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        write(std::string_view(buffer, static_cast<std::size_t>(got)));
    }
}

ScriptedServer::ScriptedServer(Script script)
    : script_(std::move(script)), listener_(loopbackListener(8, port_)), thread_([this] { serve(); }) {}

ScriptedServer::~ScriptedServer() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
    for (const auto& failure : failures_) ADD_FAILURE() << "scripted server: " << failure;
}

void ScriptedServer::serve() {
    while (!stopping_) {
        if (!waitReadable(listener_, 20)) continue;
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        ++accepted_;
        PeerConnection peer(fd);
        try {
            script_(peer);
        } catch (const std::exception& error) {
            std::lock_guard lock(mutex_);
            failures_.push_back(error.what());
        }
    }
}

std::uint16_t closedPort() {
    std::uint16_t port = 0;
    close(loopbackListener(1, port));
    return port;
}

FullBacklogListener::FullBacklogListener() : listener_(loopbackListener(0, port_)), filler_(-1) {
    filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

FullBacklogListener::~FullBacklogListener() {
    close(filler_);
    close(listener_);
}

}  // namespace corvane::testing
