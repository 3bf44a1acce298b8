#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "platform/host/ControlClient.hpp"

namespace corvane::e2e {

// The daemon's control socket, used synchronously.
class Control {
public:
    Control();
    ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    bool connect(const std::filesystem::path& socket);
    bool save(const platform::TransparentProxyConfiguration& configuration);
    bool start();
    bool stop();
    platform::SessionStatus status();
    std::optional<platform::Bytes> message(const std::string& text);
    std::vector<ConnectionRecord> records();

private:
    bool call(void (platform::ControlClient::*operation)(std::function<void(bool)>));

    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;
    std::shared_ptr<platform::ControlClient> client_;
};

}  // namespace corvane::e2e
