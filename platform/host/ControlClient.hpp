#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/strand.hpp>

#include "platform/Error.hpp"
#include "platform/ExtensionVersion.hpp"
#include "platform/TransparentProxyConfiguration.hpp"
#include "platform/host/ControlFrame.hpp"
#include "platform/host/SessionStatus.hpp"

namespace corvane::platform {

// A client of the daemon's control socket. Callbacks run on the client's strand.
// When the connection drops, every request still waiting is answered with none
// (or an error), so no caller waits for ever. A client connects once; after a drop,
// make a new one.
class ControlClient : public std::enable_shared_from_this<ControlClient> {
public:
    struct Reply {
        bool flag = false;
        Bytes data;
    };
    struct Hello {
        ExtensionVersion version;
        SessionStatus status = SessionStatus::invalid;
    };
    // The configurations, or the daemon's error text.
    struct LoadResult {
        std::optional<std::vector<TransparentProxyConfiguration>> configurations;
        std::string error;
    };

    static std::shared_ptr<ControlClient> create(asio::any_io_executor executor);

    void connect(const std::filesystem::path& socketPath, std::function<void(Error)> done);
    void close();

    // Any request; none when the connection dropped first.
    void request(ControlKind kind, Bytes payload, std::function<void(std::optional<Reply>)> done);

    void hello(std::function<void(std::optional<Hello>)> done);
    void loadConfigurations(std::function<void(LoadResult)> done);
    // None on success, else the error text.
    void saveConfiguration(const TransparentProxyConfiguration& configuration,
                           std::function<void(std::optional<std::string>)> done);
    // true once the daemon handled it (for stop: the session is disconnected).
    void start(std::function<void(bool)> done);
    void stop(std::function<void(bool)> done);
    // The provider's reply data, or none.
    void sendProviderMessage(Bytes message, std::function<void(std::optional<Bytes>)> done);
    // The current status; later changes arrive at the status handler.
    void subscribe(std::function<void(std::optional<SessionStatus>)> done);
    void setStatusHandler(std::function<void(SessionStatus)> handler);
    void setDisconnectHandler(std::function<void()> handler);
    // Whether the connection is open. Read it on the client's strand, as in a
    // request's callback: a request answered while still open was answered by
    // the daemon, not ended by a drop.
    bool isOpen() const { return connected_; }

private:
    explicit ControlClient(asio::any_io_executor executor);

    void read();
    void dispatch(ControlFrame frame);
    void writeNext();
    void drop();

    asio::strand<asio::any_io_executor> strand_;
    asio::local::stream_protocol::socket socket_;
    std::array<std::uint8_t, 65536> buffer_{};
    ControlFrameDecoder decoder_;
    std::deque<Bytes> output_;
    std::map<std::uint32_t, std::function<void(std::optional<Reply>)>> pending_;
    std::uint32_t nextId_ = 1;
    bool connected_ = false;
    std::function<void(SessionStatus)> statusHandler_;
    std::function<void()> disconnectHandler_;
};

}  // namespace corvane::platform
