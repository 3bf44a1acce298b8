#include "Control.hpp"

#include <future>

namespace corvane::e2e {

using platform::Bytes;

Control::Control() : work_(asio::make_work_guard(context_)), thread_([this] { context_.run(); }) {
    client_ = platform::ControlClient::create(context_.get_executor());
}

Control::~Control() {
    client_->close();
    work_.reset();
    context_.stop();
    thread_.join();
}

bool Control::connect(const std::filesystem::path& socket) {
    std::promise<platform::Error> done;
    client_->connect(socket, [&](platform::Error error) { done.set_value(error); });
    return !done.get_future().get();
}

bool Control::save(const platform::TransparentProxyConfiguration& configuration) {
    std::promise<std::optional<std::string>> done;
    client_->saveConfiguration(configuration, [&](std::optional<std::string> error) { done.set_value(error); });
    return !done.get_future().get();
}

bool Control::start() { return call(&platform::ControlClient::start); }

bool Control::stop() { return call(&platform::ControlClient::stop); }

platform::SessionStatus Control::status() {
    std::promise<platform::SessionStatus> done;
    client_->hello([&](std::optional<platform::ControlClient::Hello> hello) {
        done.set_value(hello ? hello->status : platform::SessionStatus::invalid);
    });
    return done.get_future().get();
}

std::optional<Bytes> Control::message(const std::string& text) {
    std::promise<std::optional<Bytes>> done;
    client_->sendProviderMessage(Bytes(text.begin(), text.end()),
                                 [&](std::optional<Bytes> reply) { done.set_value(std::move(reply)); });
    return done.get_future().get();
}

std::vector<ConnectionRecord> Control::records() {
    auto reply = message("{\"kind\":\"fetchRecords\"}");
    if (!reply) return {};
    return decodeRecordList(std::string_view(reinterpret_cast<const char*>(reply->data()), reply->size()));
}

bool Control::call(void (platform::ControlClient::*operation)(std::function<void(bool)>)) {
    std::promise<bool> done;
    ((*client_).*operation)([&](bool handled) { done.set_value(handled); });
    return done.get_future().get();
}

}  // namespace corvane::e2e
