#include "SystemCommand.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "ServiceError.hpp"

namespace corvane::service::SystemCommand {

namespace {

// A fixed search path: the helper runs as root and trusts no inherited PATH.
char kPath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

std::string locate(const std::string& name) {
    for (const char* folder : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
        if (::access((folder + name).c_str(), X_OK) == 0) return folder + name;
    }
    return name;
}

}  // namespace

int run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    char* environment[] = {kPath, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const std::string program = locate(arguments.front());
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void require(const std::vector<std::string>& arguments) {
    const int status = run(arguments);
    if (status == 0) return;
    std::string line;
    for (const std::string& argument : arguments) line += (line.empty() ? "" : " ") + argument;
    const std::string how = status < 0 ? "." : " with status " + std::to_string(status) + ".";
    throw ServiceError(ServiceError::Code::failed, "“" + line + "” failed" + how);
}

}  // namespace corvane::service::SystemCommand
