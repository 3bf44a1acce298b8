#include "DetachedDaemon.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "CorvaneCore/Support/StandardInteger.hpp"
#include "ServiceError.hpp"
#include "platform/FileDescriptor.hpp"
#include "platform/linux/ProcessFiles.hpp"
#include "platform/linux/ProcessStatus.hpp"

namespace corvane::service {

namespace fs = std::filesystem;
using platform::LogArg;

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(50);

[[noreturn]] void fail(const std::string& message) { throw ServiceError(ServiceError::Code::failed, message); }

// The state letter of /proc/PID/stat: the first field after the command name.
char stateOf(std::string_view stat) {
    const auto close = stat.rfind(')');
    if (close == std::string_view::npos || close + 2 >= stat.size()) return '?';
    return stat[close + 2];
}

}  // namespace

DetachedDaemon::DetachedDaemon(fs::path runtimeDirectory, fs::path stateDirectory, const platform::Logger& log)
    : runtimeDirectory_(std::move(runtimeDirectory)), stateDirectory_(std::move(stateDirectory)), log_(log) {}

std::optional<DetachedDaemon::Record> DetachedDaemon::parse(std::string_view text) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    const auto space = text.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const auto pid = parseStandardInteger<pid_t>(text.substr(0, space));
    const auto startTime = parseStandardInteger<std::uint64_t>(text.substr(space + 1));
    if (!pid || *pid <= 0 || !startTime) return std::nullopt;
    return Record{*pid, *startTime};
}

std::optional<DetachedDaemon::Record> DetachedDaemon::running(pid_t pid) {
    const auto stat = platform::procfs::readSmallFile(platform::procfs::processDirectory(pid) + "/stat");
    if (!stat || stateOf(*stat) == 'Z') return std::nullopt;
    const auto startTime = platform::ProcessStatus::startTimeFromStat(*stat);
    if (!startTime) return std::nullopt;
    return Record{pid, *startTime};
}

bool DetachedDaemon::waitUntilGone(const Record& record, std::chrono::seconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running(record.pid) == record) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

void DetachedDaemon::stopPrevious() {
    const auto text = platform::procfs::readSmallFile(pidFile().string(), 256);
    const auto record = text ? parse(*text) : std::nullopt;
    if (record && running(record->pid) == *record) {
        ::kill(record->pid, SIGTERM);
        if (!waitUntilGone(*record, kStopWait)) {
            ::kill(record->pid, SIGKILL);
            waitUntilGone(*record, kKillWait);
        }
        log_.info("Stopped the daemon started before (pid %ld)", {LogArg::number(static_cast<long>(record->pid))});
    }
    std::error_code ignored;
    fs::remove(pidFile(), ignored);
}

bool DetachedDaemon::socketAnswers() const {
    const std::string path = socketPath().string();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const platform::FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return fd.get() >= 0 && ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

DetachedDaemon::Record DetachedDaemon::start(const fs::path& daemon) {
    if (socketAnswers()) fail("Another daemon already serves " + socketPath().string() + "; stop it first.");
    std::error_code error;
    fs::create_directories(runtimeDirectory_, error);
    fs::create_directories(stateDirectory_, error);

    const std::string program = daemon.string();
    std::string runtime = "RUNTIME_DIRECTORY=" + runtimeDirectory_.string();
    std::string state = "STATE_DIRECTORY=" + stateDirectory_.string();
    std::string path = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    char* environment[] = {path.data(), runtime.data(), state.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environment);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) fail("Could not start " + program + ": " + std::strerror(spawned) + ".");

    const auto record = running(pid);
    if (record) std::ofstream(pidFile()) << record->pid << ' ' << record->startTime << '\n';
    const auto deadline = std::chrono::steady_clock::now() + kStartWait;
    while (!socketAnswers()) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            fail("The daemon ended at once" +
                 (WIFEXITED(status) ? " with status " + std::to_string(WEXITSTATUS(status)) + "." : "."));
        }
        if (std::chrono::steady_clock::now() > deadline) fail("The daemon did not open its control socket in time.");
        std::this_thread::sleep_for(kPollInterval);
    }
    log_.info("systemd is not the init system: started %{public}s detached (pid %ld)",
              {LogArg::publicText(program), LogArg::number(static_cast<long>(pid))});
    return record.value_or(Record{pid, 0});
}

}  // namespace corvane::service
