// Programs that try to pass as others, or to freeze or slow the daemon, as a
// local user without privileges would: uids of no account and no group, user
// and mount namespaces of their own (unshare -Ur), chroots, bind mounts and
// copies of programs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Support/SessionTest.hpp"

namespace corvane {
namespace {

using namespace e2e;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kPython = "/usr/bin/python3.11";

class TunnelIdentityEndToEnd : public SessionTest {
protected:
    static void SetUpTestSuite() {
        TopologyTest::SetUpTestSuite();
        if (!skipReason().empty()) return;
        if (::access(kPython.c_str(), X_OK) != 0 || !have("setpriv") || !have("unshare")) {
            skipReason() = "the identity tests need " + kPython + ", setpriv and unshare";
            return;
        }
        fs::copy_file(CORVANE_E2E_IDENTITY_PROBE, script(), fs::copy_options::overwrite_existing);
        fs::permissions(script(), fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    }

    // A uid of no account and no group, one per `which`, different per run.
    static std::string user(int which) { return std::to_string(40000 + (::getpid() % 5000) * 4 + which); }
    static std::string asUser(int which) {
        return "setpriv --reuid=" + user(which) + " --regid=" + user(which) + " --clear-groups ";
    }
    static std::string inHost() { return "ip netns exec " + kHost + " "; }
    static fs::path script() { return topology()->folder / "IdentityProbe.py"; }
    // `program` running the probe script with `arguments`.
    static std::string probeCommand(const std::string& program, const std::string& arguments) {
        return program + " -I " + script().string() + " " + arguments;
    }

    // The last JSON line a command printed; an empty object when none.
    static nlohmann::json report(const std::string& command) {
        std::string out = capture(inHost() + command + " 2>/dev/null");
        while (!out.empty() && out.back() == '\n') out.pop_back();
        const auto newline = out.rfind('\n');
        auto parsed = nlohmann::json::parse(out.substr(newline == std::string::npos ? 0 : newline + 1), nullptr, false);
        return parsed.is_object() ? parsed : nlohmann::json::object();
    }

    // Everything blocked except `application` over `transport`, which goes direct.
    static Profile onlyAllowing(const std::string& application, TransportProtocol transport) {
        Profile profile;
        profile.defaultAction = RuleAction::block();
        Rule rule;
        rule.id = UUID::random();
        rule.name = "Allowed";
        rule.applications = {application};
        rule.transports = {transport};
        rule.action = RuleAction::direct();
        profile.rules.push_back(rule);
        return profile;
    }

    // A folder the probes may enter (chroot) and run from.
    static fs::path folder(const std::string& name) {
        const fs::path path = topology()->folder / name;
        fs::create_directories(path);
        ::chmod(path.c_str(), 0755);
        return path;
    }

    // Whether a HELLO on a connection of its own is answered within `limit`. The
    // asking thread may outlive the wait; it owns all it uses.
    static bool helloAnsweredWithin(std::chrono::milliseconds limit, std::thread& asker) {
        auto answered = std::make_shared<std::promise<bool>>();
        auto future = answered->get_future();
        asker = std::thread([answered, socket = topology()->socketPath()] {
            Control control;
            answered->set_value(control.connect(socket) && control.status() != platform::SessionStatus::invalid);
        });
        return future.wait_for(limit) == std::future_status::ready && future.get();
    }

    // How long each of `count` connections of one user takes to be greeted
    // by the echo server, each from a new process (whose first connection
    // the daemon has to find the owner of from scratch).
    static std::vector<std::chrono::milliseconds> connectTimes(const std::string& launcher, int count) {
        std::vector<std::chrono::milliseconds> times;
        for (int i = 0; i < count; ++i) {
            const auto result = report(launcher + probeCommand(kPython, "tcp 198.18.0.10 7"));
            const bool greeted = result.value("greeting", "") == "peer=10.203.0.1";
            times.push_back(std::chrono::milliseconds(greeted ? result.value("milliseconds", 5000) : 5000));
        }
        return times;
    }

    // What the daemon logged since `mark` (a size of its log).
    static std::string logSince(std::size_t mark) {
        const std::string log = daemonLog();
        return mark < log.size() ? log.substr(mark) : std::string();
    }
    // Whether a line logged since `mark` says `head`, then anything (the host
    // name may have been learnt by an earlier test), then ends with `tail`.
    static bool logged(std::size_t mark, const std::string& head, const std::string& tail) {
        std::istringstream lines(logSince(mark));
        for (std::string line; std::getline(lines, line);) {
            const auto at = line.find(head);
            if (at != std::string::npos && line.size() >= at + head.size() + tail.size() && line.ends_with(tail))
                return true;
        }
        return false;
    }
};

// A daemon stuck opening the FIFO for reading is let go by a writer; those
// that come to it later too, for a while.
void releaseReaders(const fs::path& fifo) {
    for (int i = 0; i < 40; ++i) {
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) ::close(writer);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// A FIFO where a sandbox's .flatpak-info would be, in a chroot made by a user
// of no group in a user namespace, while that user's connections wait to be
// identified: another user's connection and the control socket are still
// answered at once.
TEST_F(TunnelIdentityEndToEnd, AFifoUnderAProcessRootFreezesNothing) {
    run(Profile::makeDefault());
    for (const std::string kind : {"fifo", "link"}) {
        const fs::path root = folder("root-" + kind);
        const fs::path fifo = kind == "fifo" ? root / ".flatpak-info" : topology()->folder / ("fifo-" + kind);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0) << kind;
        if (kind == "link") fs::create_symlink(fifo, root / ".flatpak-info");
        const fs::path out = topology()->folder / ("attack-" + kind + ".out");
        Process attacker(inHost() + asUser(1) + "unshare -Ur " +
                         probeCommand(kPython, "hold 198.18.0.10 7 32 --chroot " + root.string()) + " >" +
                         out.string() + " 2>&1");
        ASSERT_TRUE(waitFor([&] { return readText(out).find("connected") != std::string::npos; })) << readText(out);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));

        const auto started = Clock::now();
        const auto other = report(asUser(2) + "timeout 5 " + topology()->probeProgram.string() +
                                  " tcp-probe 198.18.0.10 7 10");
        const auto took = Clock::now() - started;
        EXPECT_EQ(other.value("greeting", ""), "peer=10.203.0.1") << kind << " " << other.dump();
        EXPECT_LT(took, std::chrono::seconds(1)) << kind;
        std::thread asker;
        EXPECT_TRUE(helloAnsweredWithin(std::chrono::seconds(1), asker)) << kind;

        attacker.stop(SIGKILL);
        releaseReaders(fifo);
        asker.join();
    }
}

// A chroot's .flatpak-info names an allowed application: the process is
// still the python it runs, and the rule for that application does not apply.
TEST_F(TunnelIdentityEndToEnd, AFlatpakInfoFileLendsNoIdentifier) {
    run(onlyAllowing("org.example.Allowed", TransportProtocol::tcp));
    const fs::path root = folder("root-info");
    std::ofstream(root / ".flatpak-info") << "[Application]\nname=org.example.Allowed\n";
    const auto mark = daemonLog().size();
    const auto result = report(asUser(1) + "unshare -Ur " +
                               probeCommand(kPython, "tcp 198.18.0.10 7 --chroot " + root.string()));
    EXPECT_EQ(result.value("greeting", "?"), "") << result.dump();
    EXPECT_TRUE(waitFor([&] { return logged(mark, "TCP python3.11 → ", "addr=198.18.0.10:7 ⇒ BLOCK via default"); }))
        << logSince(mark);
}

// python bind-mounted over wget in a user and mount namespace runs as
// /usr/bin/wget in its own view; the daemon names it after the file it runs,
// unverified, and a profile where only wget may connect keeps it out.
TEST_F(TunnelIdentityEndToEnd, PythonBindMountedOverWgetIsNotWget) {
    if (!fs::exists("/usr/bin/wget")) GTEST_SKIP() << "needs /usr/bin/wget";
    const auto asWget = [](const std::string& arguments) {
        return asUser(1) + "unshare -Urm sh -c 'mount --bind " + kPython + " /usr/bin/wget && exec " +
               probeCommand("/usr/bin/wget", arguments) + "'";
    };
    run(onlyAllowing("wget", TransportProtocol::tcp));
    const auto mark = daemonLog().size();
    const auto tcp = report(asWget("tcp 198.18.0.10 7"));
    EXPECT_EQ(tcp.value("greeting", "?"), "") << tcp.dump();
    EXPECT_TRUE(waitFor([&] {
        return logged(mark, "TCP python3.11 [signature unverified] → ", "addr=198.18.0.10:7 ⇒ BLOCK via default");
    })) << logSince(mark);

    run(onlyAllowing("wget", TransportProtocol::udp));
    EXPECT_EQ(report(asWget("udp 198.18.0.10 7")), (nlohmann::json{{"reply", false}}));
}

// A copy of python named wget in a folder of the user's gets wget's UDP rules
// no more than its TCP ones.
TEST_F(TunnelIdentityEndToEnd, ACopyNamedWgetGetsNoWgetRulesOverUDP) {
    const fs::path home = folder("home-" + user(1));
    const fs::path copy = home / "wget";
    fs::copy_file(kPython, copy, fs::copy_options::overwrite_existing);
    ::chmod(copy.c_str(), 0755);
    run(onlyAllowing("wget", TransportProtocol::udp));
    EXPECT_EQ(report(asUser(1) + probeCommand(copy.string(), "udp 198.18.0.10 7")), (nlohmann::json{{"reply", false}}));
    run(onlyAllowing("python3.11", TransportProtocol::udp));
    EXPECT_EQ(report(asUser(1) + probeCommand(kPython, "udp 198.18.0.10 7")), (nlohmann::json{{"reply", true}}));
}

// Any program's first datagram to port 53 does not make it the system
// resolver: rules naming the resolver do not apply to it.
TEST_F(TunnelIdentityEndToEnd, AQueryToPort53DoesNotMakeAProgramTheResolver) {
    run(onlyAllowing("systemd-resolved", TransportProtocol::udp));
    EXPECT_EQ(report(asUser(1) + probeCommand(kPython, "dns 10.203.0.2 53")), (nlohmann::json{{"reply", false}}));
    run(onlyAllowing("python3.11", TransportProtocol::udp));
    EXPECT_EQ(report(asUser(1) + probeCommand(kPython, "dns 10.203.0.2 53")), (nlohmann::json{{"reply", true}}));
}

// A socket made before a fork, whose parent then executes an allowed program
// while the child connects, is held by two programs and verified for neither.
TEST_F(TunnelIdentityEndToEnd, AForkedSocketIsNotCreditedToWhatTheParentExecuted) {
    run(onlyAllowing("sleep", TransportProtocol::tcp));
    const auto mark = daemonLog().size();
    const auto result = report(asUser(1) + probeCommand(kPython, "fork-tcp 198.18.0.10 7 /bin/sleep 2"));
    EXPECT_EQ(result.value("greeting", "?"), "") << result.dump();
    EXPECT_TRUE(waitFor([&] { return logged(mark, "TCP ? [signature unverified] → ", "addr=198.18.0.10:7 ⇒ BLOCK via default"); }))
        << logSince(mark);
}

std::chrono::milliseconds median(std::vector<std::chrono::milliseconds> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? std::chrono::milliseconds(0) : values[values.size() / 2];
}

std::string describe(const std::vector<std::chrono::milliseconds>& times) {
    std::string text = "median " + std::to_string(median(times).count()) + " ms of";
    for (const auto time : times) text += " " + std::to_string(time.count());
    return text;
}

// Another user holds 100,000 sockets (over processes: one may hold 20,000
// descriptors here) and floods the daemon with 1,000 connections a second
// that no process holds when the daemon looks (each is in flight between
// processes), so that each costs a full search of that user's processes: an
// ordinary user's connections take hardly longer. The flood goes to a closed
// port, so that no server of the test network limits it. The bound is
// generous for a loaded machine; the times are printed.
TEST_F(TunnelIdentityEndToEnd, AnotherUsersSocketsAndFloodDoNotSlowAConnection) {
    run(Profile::makeDefault());
    constexpr int kConnections = 15;
    const auto idle = connectTimes(asUser(2), kConnections);

    std::vector<std::unique_ptr<Process>> load;
    std::vector<fs::path> outputs;
    for (int i = 0; i < 7; ++i) {
        outputs.push_back(topology()->folder / ("sockets-" + std::to_string(i) + ".out"));
        load.push_back(std::make_unique<Process>(inHost() + asUser(3) + probeCommand(kPython, "sockets 15000") + " >" +
                                                 outputs.back().string() + " 2>&1"));
    }
    int holding = 0;
    EXPECT_TRUE(waitFor(
        [&] {
            holding = 0;
            for (const auto& out : outputs) {
                const auto text = readText(out);
                if (const auto at = text.find("\"holding\": "); at != std::string::npos)
                    holding += std::stoi(text.substr(at + 11));
            }
            return holding >= 100000;
        },
        std::chrono::seconds(30)))
        << holding << " sockets held";
    const auto holdingOnly = connectTimes(asUser(2), kConnections);
    const fs::path floods = topology()->folder / "floods.out";
    for (int i = 0; i < 2; ++i)
        load.push_back(std::make_unique<Process>(inHost() + asUser(3) + probeCommand(kPython, "flood 198.18.0.10 9 60 500") +
                                                 " >>" + floods.string() + " 2>&1"));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto flooded = connectTimes(asUser(2), kConnections);
    load.clear();

    std::cout << "connect times, idle: " << describe(idle) << "\n"
              << "another user holding " << holding << " sockets: " << describe(holdingOnly) << "\n"
              << "and flooding (" << readText(floods) << "): " << describe(flooded) << "\n";
    EXPECT_LT(median(holdingOnly), median(idle) + std::chrono::milliseconds(100)) << describe(holdingOnly);
    EXPECT_LT(median(flooded), median(idle) + std::chrono::milliseconds(100)) << describe(flooded);
}

}  // namespace
}  // namespace corvane
