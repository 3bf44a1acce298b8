#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "Model/AsioWorker.hpp"
#include "Model/PkexecServiceInstaller.hpp"
#include "Support/EventLoop.hpp"
#include "Support/InProcessDaemon.hpp"
#include "platform/linux/TemporaryDirectory.hpp"
#include "platform/testing/CaptureLogSink.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A Unix socket whose one accepted connection is either closed without a word,
// as the daemon does with a peer that is neither root nor in the group
// "corvane", or held open without an answer, as by a daemon that hangs.
class SilentSocket {
public:
    enum class Peer { closed, held };

    SilentSocket(const fs::path& path, Peer peer) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)), path_(path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        thread_ = std::thread([this, peer] {
            peer_ = ::accept(fd_, nullptr, nullptr);
            if (peer == Peer::closed && peer_ >= 0) ::close(std::exchange(peer_, -1));
        });
    }
    ~SilentSocket() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        if (peer_ >= 0) ::close(peer_);
        ::close(fd_);
        ::unlink(path_.c_str());
    }

private:
    int fd_;
    int peer_ = -1;
    fs::path path_;
    std::thread thread_;
};

class PkexecServiceInstallerTest : public ::testing::Test {
protected:
    platform::testing::ScopedLogCapture log;
    platform::testing::TemporaryDirectory folder;
    AsioWorker worker;
    QObject context;
    std::vector<std::string> events;
    std::unique_ptr<RootHelperRunner> runner;

    fs::path socketPath() const { return folder.path() / "control.sock"; }
    fs::path calls() const { return folder.path() / "calls"; }

    // A stand-in program that records its arguments and ends as told.
    fs::path script(const std::string& name, int status, const std::string& errorText = {}) {
        const fs::path path = folder.path() / name;
        std::ofstream(path) << "#!/bin/sh\necho \"" << name << " $*\" >> '" << calls().string() << "'\n"
                            << (errorText.empty() ? "" : "echo 'first line' >&2\necho '" + errorText + "' >&2\n")
                            << "exit " << status << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }

    std::unique_ptr<PkexecServiceInstaller> installer(bool asRoot, const fs::path& helper, const fs::path& pkexec,
                                                      std::string build = "8") {
        std::ofstream(folder.path() / "corvane-tunnel.build") << build << "\n";
        const BundledDaemon bundle{folder.path() / "corvane-tunnel", folder.path() / "corvane-tunnel.build", helper};
        runner = std::make_unique<RootHelperRunner>(RootHelperRunner::Settings{helper, pkexec, asRoot});
        return std::make_unique<PkexecServiceInstaller>(
            worker.executor(), PkexecServiceInstaller::Settings{socketPath(), bundle, "1.1", 200ms}, *runner);
    }

    void activate(PkexecServiceInstaller& installer) {
        installer.submitActivation(
            &context,
            {[this](platform::ExtensionVersion a, platform::ExtensionVersion b) {
                 events.push_back("replacing " + a.shortVersion + "/" + a.build + " with " + b.shortVersion + "/" +
                                  b.build);
             },
             [this] { events.push_back("approval"); },
             [this](ActivationResult r) {
                 events.push_back(r == ActivationResult::completed ? "completed" : "after reboot");
             },
             [this](RequestFailure f) {
                 events.push_back("failed " + f.domain + " " + std::to_string(f.code) + " " + f.description);
             }});
        EXPECT_TRUE(events.empty()) << "answered inside the call";
        EXPECT_TRUE(waitUntil([&] {
            return !events.empty() && (events.back().starts_with("completed") || events.back().starts_with("failed"));
        }, 10s));
    }

    std::optional<std::vector<ExtensionProperties>> properties(PkexecServiceInstaller& installer,
                                                               RequestFailure* failure = nullptr) {
        std::optional<std::vector<ExtensionProperties>> found;
        std::optional<RequestFailure> failed;
        installer.submitPropertiesRequest(&context, {[&](std::vector<ExtensionProperties> p) { found = p; },
                                                     [&](RequestFailure f) { failed = f; }});
        EXPECT_TRUE(waitUntil([&] { return found || failed; }));
        if (failure && failed) *failure = *failed;
        return found;
    }

    std::string recorded() const {
        std::ifstream in(calls());
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
};

TEST_F(PkexecServiceInstallerTest, AsRootTheHelperRunsDirectly) {
    auto subject = installer(true, script("helper", 0), script("pkexec", 1));
    activate(*subject);
    EXPECT_EQ(events, std::vector<std::string>{"completed"});
    EXPECT_EQ(recorded(), "helper install " + (folder.path() / "corvane-tunnel").string() + "\n");
}

TEST_F(PkexecServiceInstallerTest, ThroughPkexecTheApprovalComesFirstAndRefusalsFail) {
    struct Case {
        int status;
        std::string errorText;
        std::string failure;
    };
    const std::vector<Case> cases = {
        {0, "", "completed"},
        {126, "Error executing command as another user: Request dismissed",
         "failed pkexec 126 The administrator authorisation was dismissed."},
        {127, "", "failed pkexec 127 Not authorised to install the tunnel service."},
        {3, "The daemon is refused.", "failed corvane-service 3 The daemon is refused."},
        {4, "", "failed corvane-service 4 The root helper stopped with status 4."},
    };
    const fs::path helper = script("helper", 0);
    for (const Case& c : cases) {
        events.clear();
        fs::remove(calls());
        auto subject = installer(false, helper, script("pkexec", c.status, c.errorText));
        activate(*subject);
        EXPECT_EQ(events, (std::vector<std::string>{"approval", c.failure})) << c.status;
        const std::string daemon = (folder.path() / "corvane-tunnel").string();
        EXPECT_EQ(recorded(), "pkexec " + helper.string() + " install " + daemon + "\n");
    }
}

TEST_F(PkexecServiceInstallerTest, AHelperThatCannotStartFails) {
    auto subject = installer(true, folder.path() / "missing-helper", script("pkexec", 0));
    activate(*subject);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].starts_with("failed corvane-service ")) << events[0];
}

TEST_F(PkexecServiceInstallerTest, ARunningDaemonOfAnotherBuildIsReplaced) {
    InProcessDaemon daemon(folder.path(), {"1.0", "7"});
    auto subject = installer(true, script("helper", 0), script("pkexec", 1));
    activate(*subject);
    EXPECT_EQ(events, (std::vector<std::string>{"replacing 1.0/7 with 1.1/8", "completed"}));

    events.clear();
    auto same = installer(true, script("helper", 0), script("pkexec", 1), "7");
    activate(*same);
    EXPECT_EQ(events, std::vector<std::string>{"completed"});
}

TEST_F(PkexecServiceInstallerTest, PropertiesComeFromTheDaemonsHello) {
    auto subject = installer(true, script("helper", 0), script("pkexec", 1));
    EXPECT_EQ(properties(*subject), std::vector<ExtensionProperties>{}) << "no socket";
    {
        SilentSocket refusing(socketPath(), SilentSocket::Peer::closed);
        EXPECT_EQ(properties(*subject), (std::vector{ExtensionProperties{"", "", false, false, false, true}}));
    }
    {
        std::ofstream(socketPath()) << "stale";
        EXPECT_EQ(properties(*subject), std::vector<ExtensionProperties>{}) << "nobody listens";
        fs::remove(socketPath());
    }
    InProcessDaemon daemon(folder.path(), {"1.0", "7"});
    EXPECT_EQ(properties(*subject), (std::vector{ExtensionProperties{"1.0", "7", true, false, false}}));
}

// A daemon that accepts but never answers holds neither request for ever.
TEST_F(PkexecServiceInstallerTest, ADaemonThatDoesNotAnswerTimesOut) {
    SilentSocket hanging(socketPath(), SilentSocket::Peer::held);
    auto subject = installer(true, script("helper", 0), script("pkexec", 1));
    RequestFailure failure;
    EXPECT_EQ(properties(*subject, &failure), std::nullopt);
    EXPECT_EQ(failure, (RequestFailure{"corvane.control-socket", ETIMEDOUT, std::strerror(ETIMEDOUT)}));
    activate(*subject);
    EXPECT_EQ(events, std::vector<std::string>{"completed"});
}

}  // namespace
}  // namespace corvane::app::testing
