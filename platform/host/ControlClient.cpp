#include "platform/host/ControlClient.hpp"

#include <asio/bind_executor.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>

#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"

namespace corvane::platform {

namespace {

std::string_view textOf(const Bytes& data) {
    return std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
}

}  // namespace

std::shared_ptr<ControlClient> ControlClient::create(asio::any_io_executor executor) {
    return std::shared_ptr<ControlClient>(new ControlClient(std::move(executor)));
}

ControlClient::ControlClient(asio::any_io_executor executor)
    : strand_(asio::make_strand(executor)), socket_(strand_) {}

void ControlClient::connect(const std::filesystem::path& socketPath, std::function<void(Error)> done) {
    asio::post(strand_, [self = shared_from_this(), path = socketPath.string(), done = std::move(done)] {
        self->socket_.async_connect(asio::local::stream_protocol::endpoint(path),
            asio::bind_executor(self->strand_, [self, done](Error error) {
                if (!error) {
                    self->connected_ = true;
                    self->read();
                }
                done(error);
            }));
    });
}

void ControlClient::close() {
    asio::post(strand_, [self = shared_from_this()] { self->drop(); });
}

void ControlClient::setStatusHandler(std::function<void(SessionStatus)> handler) {
    asio::post(strand_, [self = shared_from_this(), handler = std::move(handler)] { self->statusHandler_ = handler; });
}

void ControlClient::setDisconnectHandler(std::function<void()> handler) {
    asio::post(strand_, [self = shared_from_this(), handler = std::move(handler)] { self->disconnectHandler_ = handler; });
}

void ControlClient::request(ControlKind kind, Bytes payload, std::function<void(std::optional<Reply>)> done) {
    asio::post(strand_, [self = shared_from_this(), kind, payload = std::move(payload), done = std::move(done)] {
        if (!self->connected_) return done(std::nullopt);
        const std::uint32_t id = self->nextId_++;
        Bytes bytes;
        try {
            bytes = ControlFrame{kind, id, payload}.encode();
        } catch (const ControlProtocolError&) {
            return done(std::nullopt);
        }
        self->pending_[id] = done;
        self->output_.push_back(std::move(bytes));
        if (self->output_.size() == 1) self->writeNext();
    });
}

void ControlClient::writeNext() {
    asio::async_write(socket_, asio::buffer(output_.front()),
        asio::bind_executor(strand_, [self = shared_from_this()](Error error, std::size_t) {
            // A connection dropped meanwhile has cleared its queue.
            if (error || !self->connected_) return self->drop();
            self->output_.pop_front();
            if (!self->output_.empty()) self->writeNext();
        }));
}

void ControlClient::read() {
    socket_.async_read_some(asio::buffer(buffer_),
        asio::bind_executor(strand_, [self = shared_from_this()](Error error, std::size_t size) {
            if (error) return self->drop();
            try {
                self->decoder_.feed(self->buffer_.data(), size);
                while (auto frame = self->decoder_.next()) self->dispatch(std::move(*frame));
            } catch (const ControlProtocolError&) {
                return self->drop();
            }
            if (self->connected_) self->read();
        }));
}

void ControlClient::dispatch(ControlFrame frame) {
    if (frame.kind == ControlKind::status) {
        if (frame.payload.size() == 1 && statusHandler_) statusHandler_(static_cast<SessionStatus>(frame.payload[0]));
        return;
    }
    if (frame.kind != ControlKind::reply || frame.payload.empty()) return;
    auto it = pending_.find(frame.requestId);
    if (it == pending_.end()) return;
    auto done = std::move(it->second);
    pending_.erase(it);
    done(Reply{frame.payload[0] == 1, Bytes(frame.payload.begin() + 1, frame.payload.end())});
}

// Ends the connection and answers every waiting request with none.
void ControlClient::drop() {
    if (!connected_ && pending_.empty()) return;
    connected_ = false;
    Error ignored;
    socket_.close(ignored);
    output_.clear();
    auto pending = std::move(pending_);
    pending_.clear();
    for (auto& [id, done] : pending) done(std::nullopt);
    if (disconnectHandler_) disconnectHandler_();
}

void ControlClient::hello(std::function<void(std::optional<Hello>)> done) {
    request(ControlKind::hello, {}, [done](std::optional<Reply> reply) {
        if (!reply || !reply->flag) return done(std::nullopt);
        try {
            auto info = json::parse(textOf(reply->data));
            done(Hello{{json::required<std::string>(info, "shortVersion"), json::required<std::string>(info, "build")},
                       static_cast<SessionStatus>(json::required<std::uint8_t>(info, "status"))});
        } catch (const JsonDecodeError&) {
            done(std::nullopt);
        }
    });
}

void ControlClient::loadConfigurations(std::function<void(LoadResult)> done) {
    request(ControlKind::loadConfigurations, {}, [done](std::optional<Reply> reply) {
        if (!reply) return done(LoadResult{std::nullopt, "The connection to the daemon was lost."});
        if (!reply->flag) return done(LoadResult{std::nullopt, std::string(textOf(reply->data))});
        try {
            std::vector<TransparentProxyConfiguration> list;
            const auto parsed = json::parse(textOf(reply->data));
            for (const auto& item : json::requireArray(parsed, "configurations")) {
                list.push_back(TransparentProxyConfiguration::fromJson(item));
            }
            done(LoadResult{std::move(list), {}});
        } catch (const JsonDecodeError& e) {
            done(LoadResult{std::nullopt, e.what()});
        }
    });
}

void ControlClient::saveConfiguration(const TransparentProxyConfiguration& configuration,
                                      std::function<void(std::optional<std::string>)> done) {
    const std::string text = toJson(configuration).dump();
    request(ControlKind::saveConfiguration, Bytes(text.begin(), text.end()), [done](std::optional<Reply> reply) {
        if (!reply) return done("The connection to the daemon was lost.");
        if (!reply->flag) return done(std::string(textOf(reply->data)));
        done(std::nullopt);
    });
}

void ControlClient::start(std::function<void(bool)> done) {
    request(ControlKind::start, {}, [done](std::optional<Reply> reply) { done(reply && reply->flag); });
}

void ControlClient::stop(std::function<void(bool)> done) {
    request(ControlKind::stop, {}, [done](std::optional<Reply> reply) { done(reply && reply->flag); });
}

void ControlClient::sendProviderMessage(Bytes message, std::function<void(std::optional<Bytes>)> done) {
    request(ControlKind::message, std::move(message), [done](std::optional<Reply> reply) {
        if (!reply || !reply->flag) return done(std::nullopt);
        done(std::move(reply->data));
    });
}

void ControlClient::subscribe(std::function<void(std::optional<SessionStatus>)> done) {
    request(ControlKind::subscribe, {}, [done](std::optional<Reply> reply) {
        if (!reply || !reply->flag || reply->data.size() != 1) return done(std::nullopt);
        done(static_cast<SessionStatus>(reply->data[0]));
    });
}

}  // namespace corvane::platform
