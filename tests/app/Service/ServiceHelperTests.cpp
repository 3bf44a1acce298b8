// The helper corvane-service run as root on a temporary copy of the daemon. The
// daemon it starts runs in a network namespace of the test's own, so its
// listeners meet nothing else on the machine.
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

#include "Service/DetachedDaemon.hpp"

namespace corvane::service {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kNamespace = "cvs-" + std::to_string(::getpid());

int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string contentOf(const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string lastLine(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
    return trimmed.substr(trimmed.rfind('\n') == std::string::npos ? 0 : trimmed.rfind('\n') + 1);
}

bool groupExists(const char* name) { return ::getgrnam(name) != nullptr; }

class ServiceHelper : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        if (::geteuid() != 0) {
            skipReason() = "the helper's tests need root";
        } else if (shell("command -v ip >/dev/null") != 0) {
            skipReason() = "the helper's tests need ip (iproute2)";
        } else if (shell("ip netns add " + kNamespace + " && ip -n " + kNamespace + " link set lo up") != 0) {
            skipReason() = "a network namespace could not be made";
        }
        // Daemons the helper leaves behind become our children, so we can reap them.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        groupExisted() = groupExists("corvane");
    }
    static void TearDownTestSuite() {
        shell("ip netns del " + kNamespace + " 2>/dev/null");
        if (!groupExisted() && groupExists("corvane")) shell("groupdel corvane");
    }

protected:
    fs::path root = fs::path("/run") / ("cvs-test-" + std::to_string(::getpid()));
    fs::path runtime = root / "runtime";
    fs::path state = root / "state";
    std::string errors;

    void SetUp() override {
        if (!skipReason().empty()) GTEST_SKIP() << skipReason();
        fs::create_directories(root / "bin");
        fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        fs::permissions(root / "bin", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
    }
    void TearDown() override {
        if (const auto record = recorded()) stop(record->pid);
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    static std::string& skipReason() {
        static std::string reason;
        return reason;
    }
    static bool& groupExisted() {
        static bool existed = false;
        return existed;
    }

    fs::path daemonCopy(const fs::path& folder) {
        fs::create_directories(folder);
        const fs::path copy = folder / "corvane-tunnel";
        fs::copy_file(CORVANE_TUNNEL_BINARY, copy, fs::copy_options::overwrite_existing);
        return copy;
    }

    // The helper's exit status for `arguments`; its standard error goes to `errors`.
    int helper(const std::string& arguments) {
        const fs::path errorFile = root / "errors.txt";
        const int status = shell("ip netns exec " + kNamespace + " env -i RUNTIME_DIRECTORY=" + runtime.string() +
                                 " STATE_DIRECTORY=" + state.string() + " " + CORVANE_SERVICE_BINARY + " " +
                                 arguments + " 2>" + errorFile.string());
        errors = contentOf(errorFile);
        return status;
    }
    int install(const fs::path& daemon) { return helper("install " + daemon.string()); }

    std::optional<DetachedDaemon::Record> recorded() const {
        return DetachedDaemon::parse(contentOf(runtime / "corvane-tunnel.pid"));
    }

    static bool reaped(pid_t pid, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    static void stop(pid_t pid) {
        ::kill(pid, SIGTERM);
        if (!reaped(pid, 8s)) {
            ::kill(pid, SIGKILL);
            reaped(pid, 2s);
        }
    }
};

TEST_F(ServiceHelper, RefusesADaemonOthersCouldHaveChanged) {
    const std::string refusal =
        "it and every folder above it must belong to root and be writable by nobody else. Install Corvane into a "
        "root-owned folder first (its Debian package, or bash scripts/run.sh as root, which installs it under "
        "/usr/local) and start the installed app.";
    const fs::path worldWritable = fs::temp_directory_path() / ("cvs-ww-" + std::to_string(::getpid()));
    struct Case {
        const char* name;
        fs::path daemon;
        std::function<void(const fs::path&)> spoil;
    };
    const std::vector<Case> cases = {
        {"under the world-writable temporary folder", daemonCopy(worldWritable), [](const fs::path&) {}},
        {"in a folder its group may write", daemonCopy(root / "group"),
         [](const fs::path& daemon) {
             fs::permissions(daemon.parent_path(), fs::perms::group_write, fs::perm_options::add);
         }},
        {"owned by another user", daemonCopy(root / "other"),
         [](const fs::path& daemon) { ASSERT_EQ(::chown(daemon.c_str(), 65534, 0), 0); }},
    };
    for (const Case& c : cases) {
        c.spoil(c.daemon);
        EXPECT_EQ(install(c.daemon), 3) << c.name;
        EXPECT_EQ(lastLine(errors), "The daemon “" + c.daemon.string() + "” is refused: " + refusal) << c.name;
        EXPECT_FALSE(fs::exists(runtime / "corvane-tunnel.pid")) << c.name;
    }
    fs::remove_all(worldWritable);
}

// Without systemd as init the helper starts the daemon itself; a second install
// stops exactly that daemon and starts the new one; uninstalling stops it.
TEST_F(ServiceHelper, WithoutSystemdStartsTheDaemonAndASecondInstallReplacesIt) {
    if (fs::is_directory("/run/systemd/system")) GTEST_SKIP() << "systemd is the init system here";
    const fs::path daemon = daemonCopy(root / "bin");
    ASSERT_EQ(install(daemon), 0) << errors;
    const auto first = recorded();
    ASSERT_TRUE(first);
    EXPECT_EQ(DetachedDaemon::running(first->pid), first);
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(first->pid) + "/exe"), daemon);
    EXPECT_TRUE(fs::exists(runtime / "control.sock"));
    if (!fs::exists("/run/systemd/journal/socket")) {
        EXPECT_NE(errors.find("systemd is not the init system: started " + daemon.string() + " detached (pid " +
                              std::to_string(first->pid) + ")"),
                  std::string::npos)
            << errors;
    }

    struct stat shared {};
    ASSERT_EQ(::stat((state / "shared").c_str(), &shared), 0);
    EXPECT_EQ(shared.st_mode & 07777, 02770u);
    ASSERT_TRUE(groupExists("corvane"));
    EXPECT_EQ(shared.st_gid, ::getgrnam("corvane")->gr_gid);

    ASSERT_EQ(install(daemon), 0) << errors;
    EXPECT_TRUE(reaped(first->pid, 1s)) << "the first daemon still runs";
    const auto second = recorded();
    ASSERT_TRUE(second);
    EXPECT_NE(second->pid, first->pid);
    EXPECT_EQ(DetachedDaemon::running(second->pid), second);

    ASSERT_EQ(helper("uninstall"), 0) << errors;
    EXPECT_TRUE(reaped(second->pid, 1s)) << "the daemon still runs after uninstalling";
}

}  // namespace
}  // namespace corvane::service
