// corvane-bench-control SOCKET route PROXY:PORT TARGET:PORT | direct | stop | poll MS
// Drives the daemon for the relay benchmark: "route" saves a profile whose one rule
// sends TCP to TARGET:PORT through the SOCKS5 proxy (everything else direct),
// starts the session and waits until it is connected; "direct" does the same with
// a profile of no rules and the default action direct; "stop" ends the session;
// "poll" fetches the records every MS milliseconds, as the app's Connections page
// does, until it is killed or the daemon goes away.
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "CorvaneCore/Support/StandardInteger.hpp"
#include "Socket.hpp"
#include "platform/host/ControlClient.hpp"

namespace {

using namespace corvane;

constexpr const char* kUsage =
    "usage: corvane-bench-control SOCKET route PROXY:PORT TARGET:PORT | direct | stop | poll MS\n";

Profile routingProfile(const bench::Address& proxyAddress, const bench::Address& target) {
    Profile profile = Profile::makeDefault();
    ProxyServer proxy;
    proxy.id = UUID::random();
    proxy.name = "bench";
    proxy.kind = ProxyProtocol::socks5;
    proxy.host = proxyAddress.host;
    proxy.port = proxyAddress.port;
    profile.proxies = {proxy};
    Rule rule;
    rule.id = UUID::random();
    rule.name = "Benchmark target";
    rule.hosts = {target.host + "/32"};
    rule.ports = {PortRange{target.port, target.port}};
    rule.transports = {TransportProtocol::tcp};
    rule.action = RuleAction::proxy(proxy.id);
    profile.rules = {rule};
    return profile;
}

platform::TransparentProxyConfiguration configuration(const Profile& profile) {
    platform::ConfigurationDictionary values;
    values["profile"] = platform::Bytes(ProfileCodec::encode(profile, false));
    values["proxySecrets"] = platform::StringMap{};
    return {"Corvane", true, {"org.corvane.Corvane.tunnel", "Corvane", values}};
}

template <typename Result, typename Call>
Result await(Call call) {
    std::promise<Result> done;
    call([&](Result result) { done.set_value(std::move(result)); });
    return done.get_future().get();
}

bool connected(platform::ControlClient& client) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto hello = await<std::optional<platform::ControlClient::Hello>>(
            [&](auto handler) { client.hello(handler); });
        if (hello && hello->status == platform::SessionStatus::connected) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

Profile directProfile() {
    Profile profile = Profile::makeDefault();
    profile.rules.clear();
    profile.defaultAction = RuleAction::direct();
    return profile;
}

std::optional<Profile> requestedProfile(int argc, char** argv) {
    const std::string command = argv[2];
    if (command == "direct" && argc == 3) return directProfile();
    const auto proxy = argc == 5 ? bench::parseAddress(argv[3]) : std::nullopt;
    const auto target = argc == 5 ? bench::parseAddress(argv[4]) : std::nullopt;
    if (command != "route" || !proxy || !target) return std::nullopt;
    return routingProfile(*proxy, *target);
}

int poll(platform::ControlClient& client, const std::string& interval) {
    const auto milliseconds = parseStandardInteger<unsigned>(interval);
    if (!milliseconds) return 2;
    const std::string request = R"({"kind":"fetchRecords"})";
    for (;;) {
        const auto reply = await<std::optional<platform::Bytes>>([&](auto handler) {
            client.sendProviderMessage(platform::Bytes(request.begin(), request.end()), handler);
        });
        if (!reply) return std::fprintf(stderr, "the daemon did not answer a fetch\n"), 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(*milliseconds));
    }
}

int run(platform::ControlClient& client, int argc, char** argv) {
    if (std::string(argv[2]) == "stop") return await<bool>([&](auto handler) { client.stop(handler); }) ? 0 : 1;
    if (std::string(argv[2]) == "poll") return argc == 4 ? poll(client, argv[3]) : 2;
    const auto profile = requestedProfile(argc, argv);
    if (!profile) return 2;
    await<bool>([&](auto handler) { client.stop(handler); });
    const auto error = await<std::optional<std::string>>(
        [&](auto handler) { client.saveConfiguration(configuration(*profile), handler); });
    if (error) return std::fprintf(stderr, "saving the profile failed: %s\n", error->c_str()), 1;
    if (!await<bool>([&](auto handler) { client.start(handler); }) || !connected(client))
        return std::fprintf(stderr, "the session did not connect\n"), 1;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    asio::io_context context;
    auto work = asio::make_work_guard(context);
    std::thread thread([&] { context.run(); });
    auto client = platform::ControlClient::create(context.get_executor());
    int status = 1;
    if (auto error = await<platform::Error>([&](auto handler) { client->connect(argv[1], handler); })) {
        std::fprintf(stderr, "cannot connect to %s: %s\n", argv[1], error.message().c_str());
    } else {
        status = run(*client, argc, argv);
        if (status == 2) std::fprintf(stderr, "%s", kUsage);
    }
    client->close();
    work.reset();
    context.stop();
    thread.join();
    return status;
}
