#include "PolicyRouting.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>

extern char** environ;

namespace corvane::platform {

namespace {

constexpr std::size_t kErrorOutputLimit = 4096;
constexpr int kMaxRuleCopies = 16;

const char* ipProgram() {
    for (const char* candidate : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
        if (::access(candidate, X_OK) == 0) return candidate;
    return "ip";
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

PolicyRouting::PolicyRouting(DiversionConstants constants) : constants_(std::move(constants)) {}

PolicyRouting::Result PolicyRouting::runIp(const std::vector<std::string>& arguments) {
    Result result;
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> argv = {ipProgram()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> raw;
    for (auto& argument : argv) raw.push_back(argument.data());
    raw.push_back(nullptr);
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(errorPipe[1]);
    std::array<char, 512> chunk{};
    ssize_t n = 0;
    while ((n = ::read(errorPipe[0], chunk.data(), chunk.size())) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0 && result.errorOutput.size() < kErrorOutputLimit) result.errorOutput.append(chunk.data(), n);
    }
    ::close(errorPipe[0]);
    if (spawned != 0) {
        result.errorOutput = "Could not run ip";
        return result;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.errorOutput = trimmed(result.errorOutput);
    return result;
}

std::vector<std::vector<std::string>> PolicyRouting::installCommands() const {
    const auto mark = std::to_string(constants_.divertMark);
    const auto table = std::to_string(constants_.routingTable);
    return {
        {"-4", "rule", "add", "fwmark", mark, "lookup", table},
        {"-4", "route", "replace", "local", "0.0.0.0/0", "dev", "lo", "table", table},
        {"-6", "rule", "add", "fwmark", mark, "lookup", table},
        {"-6", "route", "replace", "local", "::/0", "dev", "lo", "table", table},
    };
}

std::vector<std::vector<std::string>> PolicyRouting::removeCommands() const {
    const auto mark = std::to_string(constants_.divertMark);
    const auto table = std::to_string(constants_.routingTable);
    return {
        {"-4", "rule", "del", "fwmark", mark, "lookup", table},
        {"-4", "route", "flush", "table", table},
        {"-6", "rule", "del", "fwmark", mark, "lookup", table},
        {"-6", "route", "flush", "table", table},
    };
}

std::string PolicyRouting::install() {
    remove();
    for (const auto& command : installCommands()) {
        const auto result = runIp(command);
        if (result.status != 0) {
            remove();
            return result.errorOutput.empty() ? "ip failed to set up the routing of diverted traffic" : result.errorOutput;
        }
    }
    return "";
}

void PolicyRouting::remove() {
    for (const auto& command : removeCommands()) {
        // Rules left behind by an earlier run may be several; delete until none is left.
        const bool isRule = command[1] == "rule";
        for (int copy = 0; copy < (isRule ? kMaxRuleCopies : 1); ++copy)
            if (runIp(command).status != 0) break;
    }
}

}  // namespace corvane::platform
