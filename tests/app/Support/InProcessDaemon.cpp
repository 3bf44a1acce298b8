#include "InProcessDaemon.hpp"

#include <asio/post.hpp>

namespace corvane::app::testing {

InProcessDaemon::InProcessDaemon(const std::filesystem::path& folder, platform::ExtensionVersion version)
    : folder_(folder) {
    store_ = std::make_unique<platform::ConfigurationStore>(folder_ / "state");
    session_ = std::make_unique<platform::Session>(context_.get_executor(), *store_, diversion_);
    provider_ = std::make_shared<platform::hosttest::HostTestProvider>(*session_);
    session_->attach(provider_);
    server_ = std::make_unique<platform::ControlServer>(context_.get_executor(), *session_, *store_, socketPath(),
                                                        std::move(version), [] { return std::optional<gid_t>(); });
    server_->open();
    runner_ = std::thread([this] { context_.run(); });
}

InProcessDaemon::~InProcessDaemon() {
    asio::post(context_, [this] { server_->close(); });
    work_.reset();
    context_.stop();
    runner_.join();
}

}  // namespace corvane::app::testing
