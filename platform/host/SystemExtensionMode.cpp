#include "platform/SystemExtensionMode.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>

#include "platform/Logger.hpp"
#include "platform/host/ConfigurationStore.hpp"
#include "platform/host/ControlServer.hpp"
#include "platform/host/EventLoops.hpp"
#include "platform/host/Session.hpp"

namespace corvane::platform {

namespace {

constexpr std::size_t kEventLoops = 4;
constexpr auto kStopDeadline = std::chrono::seconds(5);

std::filesystem::path firstEntry(const char* value, const char* fallback) {
    if (value == nullptr || *value == '\0') return fallback;
    std::string_view list(value);
    auto entry = list.substr(0, list.find(':'));
    return entry.empty() ? std::filesystem::path(fallback) : std::filesystem::path(entry);
}

// The folder the app writes the shared profile into: owner root, group "corvane",
// mode 2770 (setgid, so files keep the group).
void prepareSharedFolder(const std::filesystem::path& folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    if (auto group = ControlServer::systemCorvaneGroup()) {
        if (::chown(folder.c_str(), 0, *group) == 0) ::chmod(folder.c_str(), 02770);
    }
}

}  // namespace

ExtensionDirectories ExtensionDirectories::fromEnvironment() {
    return fromValues(std::getenv("RUNTIME_DIRECTORY"), std::getenv("STATE_DIRECTORY"));
}

ExtensionDirectories ExtensionDirectories::fromValues(const char* runtimeDirectory, const char* stateDirectory) {
    return {firstEntry(runtimeDirectory, "/run/corvane"), firstEntry(stateDirectory, "/var/lib/corvane")};
}

void startSystemExtensionMode(ProviderFactory makeProvider, DiversionFactory makeDiversion, ExtensionVersion version) {
    std::signal(SIGPIPE, SIG_IGN);
    const Logger log("corvane-tunnel", "host");
    const auto directories = ExtensionDirectories::fromEnvironment();
    prepareSharedFolder(directories.stateDirectory / "shared");

    EventLoops loops(kEventLoops);
    const auto main = loops.executor(0);
    ConfigurationStore store(directories.stateDirectory);
    std::unique_ptr<DiversionBackend> diversion;
    std::unique_ptr<Session> session;
    std::shared_ptr<TransparentProxyProvider> provider;
    std::unique_ptr<ControlServer> server;
    try {
        diversion = makeDiversion(loops.executors());
        session = std::make_unique<Session>(main, store, *diversion);
        provider = makeProvider(*session);
        session->attach(provider);
        server = std::make_unique<ControlServer>(main, *session, store,
                                                 directories.runtimeDirectory / "control.sock", std::move(version));
        server->open();
    } catch (const std::exception& e) {
        // Without listeners or a control socket the daemon cannot serve anyone.
        log.error("Could not start: %{public}s", {LogArg::publicText(e.what())});
        std::exit(EXIT_FAILURE);
    }

    // SIGTERM and SIGINT: stop a running session, bounded, then end.
    asio::signal_set signals(main, SIGTERM, SIGINT);
    asio::steady_timer deadline(main);
    signals.async_wait([&](Error error, int) {
        if (error) return;
        server->close();
        session->stop([&loops] { loops.stop(); });
        deadline.expires_after(kStopDeadline);
        deadline.async_wait([&loops](Error) { loops.stop(); });
    });

    loops.run();
    std::exit(EXIT_SUCCESS);
}

}  // namespace corvane::platform
