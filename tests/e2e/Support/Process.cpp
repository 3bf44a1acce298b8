#include "Process.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace corvane::e2e {

Process::Process(const std::string& command) {
    const std::string line = "exec " + command;
    char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(line.c_str()), nullptr};
    if (::posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, argv, environ) != 0) pid_ = -1;
}

void Process::stop(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

}  // namespace corvane::e2e
