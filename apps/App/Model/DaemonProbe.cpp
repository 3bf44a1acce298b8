#include "DaemonProbe.hpp"

#include <cerrno>

namespace corvane::app {

void DaemonProbe::run(asio::any_io_executor executor, const std::filesystem::path& socketPath,
                      std::function<void(Result)> done) {
    auto client = platform::ControlClient::create(std::move(executor));
    client->connect(socketPath, [client, done](platform::Error error) {
        if (error) return done(Result{error, std::nullopt});
        client->hello([client, done](std::optional<platform::ControlClient::Hello> hello) {
            client->close();
            done(Result{{}, std::move(hello)});
        });
    });
}

DaemonProbe::Reading DaemonProbe::properties(const Result& result) {
    const ExtensionProperties awaiting{"", "", false, true, false};
    if (!result.connectError) {
        if (!result.hello) return {std::vector{awaiting}, {}};
        return {std::vector{ExtensionProperties{result.hello->version.shortVersion, result.hello->version.build, true,
                                                false, false}},
                {}};
    }
    switch (platform::posixCode(result.connectError).value_or(0)) {
        case ENOENT:
        case ENOTDIR:
        case ECONNREFUSED: return {std::vector<ExtensionProperties>{}, {}};
        case EACCES:
        case EPERM: return {std::vector{awaiting}, {}};
        default:
            return {std::nullopt, RequestFailure{"corvane.control-socket", result.connectError.value(),
                                                 result.connectError.message()}};
    }
}

}  // namespace corvane::app
