#include "PeerProcess.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace corvane::testing {
namespace {

bool acceptsConnections(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

bool exitedWithin(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-peer-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::permissions(path_, std::filesystem::perms::all);
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TemporaryFolder::write(const std::string& name, const std::string& content) const {
    const auto file = path_ / name;
    std::ofstream(file) << content;
    return file;
}

PeerProcess::PeerProcess(const std::string& program, const std::vector<std::string>& arguments, std::uint16_t port,
                         const std::filesystem::path& log) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int status = posix_spawn(&pid_, program.c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0) {
        pid_ = -1;
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!ready_ && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        ready_ = acceptsConnections(port);
        if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

PeerProcess::~PeerProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!exitedWithin(pid_, std::chrono::seconds(3))) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool PeerProcess::installed(const std::string& program) { return access(program.c_str(), X_OK) == 0; }

UDPEchoServer::UDPEchoServer() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
        while (!stopping_) {
            pollfd entry{fd_, POLLIN, 0};
            if (poll(&entry, 1, 20) != 1) continue;
            char buffer[2048] = "echo:";
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got =
                recvfrom(fd_, buffer + 5, sizeof buffer - 5, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (got < 0) continue;
            sendto(fd_, buffer, static_cast<std::size_t>(got) + 5, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
        }
    });
}

UDPEchoServer::~UDPEchoServer() {
    stopping_ = true;
    thread_.join();
    close(fd_);
}

}  // namespace corvane::testing
