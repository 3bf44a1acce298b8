#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>

namespace corvane::e2e {

// A process started through the shell (so its output can go to a file), stopped by pid.
class Process {
public:
    explicit Process(const std::string& command);
    ~Process() { stop(SIGTERM); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void stop(int signal);
    // Drops the pid of a process that ended and was reaped elsewhere, so nothing signals it again.
    void forget() { pid_ = -1; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

}  // namespace corvane::e2e
