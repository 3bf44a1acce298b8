// A small client of the daemon's control socket for demonstrations and tests:
//   corvane-e2e-control SOCKET configure PROFILE.json [ID=PASSWORD ...]
//   corvane-e2e-control SOCKET start | stop | records
// "configure" saves the profile (a bare profile object, passwords blank) with the
// given passwords as "proxySecrets"; "records" prints the fetched records as JSON.
#include <cstdio>
#include <fstream>
#include <future>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "platform/host/ControlClient.hpp"

namespace {

using namespace corvane;

int usage() {
    std::cerr << "usage: corvane-e2e-control SOCKET configure PROFILE.json [ID=PASSWORD ...] | start | stop | records\n";
    return 2;
}

platform::TransparentProxyConfiguration configuration(const std::string& profilePath, int argc, char** argv) {
    std::ifstream in(profilePath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string raw = text.str();
    const Profile profile = ProfileCodec::decode(std::span(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()));
    platform::StringMap secrets;
    for (int i = 4; i < argc; ++i) {
        const std::string pair = argv[i];
        const auto equals = pair.find('=');
        if (equals != std::string::npos) secrets[pair.substr(0, equals)] = pair.substr(equals + 1);
    }
    platform::ConfigurationDictionary values;
    values["profile"] = platform::Bytes(ProfileCodec::encode(profile.hydratingCredentialSecrets(secrets), false));
    values["proxySecrets"] = secrets;
    return {"Corvane", true, {"org.corvane.Corvane.tunnel", "Corvane", values}};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string command = argv[2];
    asio::io_context context;
    auto work = asio::make_work_guard(context);
    std::thread thread([&] { context.run(); });
    auto client = platform::ControlClient::create(context.get_executor());
    int status = 1;
    std::promise<platform::Error> connected;
    client->connect(argv[1], [&](platform::Error error) { connected.set_value(error); });
    if (auto error = connected.get_future().get()) {
        std::cerr << "cannot connect to " << argv[1] << ": " << error.message() << "\n";
    } else if (command == "configure" && argc >= 4) {
        std::promise<std::optional<std::string>> saved;
        client->saveConfiguration(configuration(argv[3], argc, argv),
                                  [&](std::optional<std::string> error) { saved.set_value(error); });
        auto error = saved.get_future().get();
        if (error) std::cerr << *error << "\n";
        status = error ? 1 : 0;
    } else if (command == "start" || command == "stop") {
        std::promise<bool> done;
        auto handler = [&](bool handled) { done.set_value(handled); };
        command == "start" ? client->start(handler) : client->stop(handler);
        status = done.get_future().get() ? 0 : 1;
    } else if (command == "records") {
        std::promise<std::optional<platform::Bytes>> reply;
        const std::string request = "{\"kind\":\"fetchRecords\"}";
        client->sendProviderMessage(platform::Bytes(request.begin(), request.end()),
                                    [&](std::optional<platform::Bytes> data) { reply.set_value(std::move(data)); });
        if (auto data = reply.get_future().get()) {
            std::cout << nlohmann::json::parse(data->begin(), data->end()).dump(2) << "\n";
            status = 0;
        }
    } else {
        status = usage();
    }
    client->close();
    work.reset();
    context.stop();
    thread.join();
    return status;
}
