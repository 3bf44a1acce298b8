#include "DaemonProbe.hpp"

#include <cerrno>
#include <memory>
#include <mutex>

#include <asio/error.hpp>
#include <asio/steady_timer.hpp>

namespace corvane::app {

namespace {

// Whichever comes first, the answer or the time-out, is delivered.
struct Delivery {
    std::mutex lock;
    bool delivered = false;
    std::function<void(DaemonProbe::Result)> done;

    void deliver(DaemonProbe::Result result) {
        {
            std::lock_guard guard(lock);
            if (delivered) return;
            delivered = true;
        }
        done(std::move(result));
    }
};

}  // namespace

void DaemonProbe::run(asio::any_io_executor executor, const std::filesystem::path& socketPath,
                      std::function<void(Result)> done, std::chrono::milliseconds answerTime) {
    auto delivery = std::make_shared<Delivery>();
    delivery->done = std::move(done);
    auto client = platform::ControlClient::create(executor);
    auto timer = std::make_shared<asio::steady_timer>(executor, answerTime);
    timer->async_wait([timer, client, delivery](platform::Error) {
        client->close();
        delivery->deliver(Result{asio::error::timed_out, std::nullopt});
    });
    client->connect(socketPath, [client, delivery](platform::Error error) {
        if (error) return delivery->deliver(Result{error, std::nullopt});
        client->hello([client, delivery](std::optional<platform::ControlClient::Hello> hello) {
            client->close();
            delivery->deliver(Result{{}, std::move(hello)});
        });
    });
}

DaemonProbe::Reading DaemonProbe::properties(const Result& result) {
    const ExtensionProperties denied{"", "", false, false, false, true};
    if (!result.connectError) {
        if (!result.hello) return {std::vector{denied}, {}};
        return {std::vector{ExtensionProperties{result.hello->version.shortVersion, result.hello->version.build, true,
                                                false, false}},
                {}};
    }
    switch (platform::posixCode(result.connectError).value_or(0)) {
        case ENOENT:
        case ENOTDIR:
        case ECONNREFUSED: return {std::vector<ExtensionProperties>{}, {}};
        case EACCES:
        case EPERM: return {std::vector{denied}, {}};
        default:
            return {std::nullopt, RequestFailure{"corvane.control-socket", result.connectError.value(),
                                                 result.connectError.message()}};
    }
}

}  // namespace corvane::app
