#include "ProxyEditorPresenter.hpp"

#include "CorvaneCore/Support/StandardInteger.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::app {

ProxyEditorPresenter::ProxyEditorPresenter(ProxyServer proxy)
    : proxy_(std::move(proxy)),
      portText_(std::to_string(proxy_.port)),
      useAuth_(proxy_.credentials.has_value()),
      username_(proxy_.credentials ? proxy_.credentials->username : ""),
      password_(proxy_.credentials ? proxy_.credentials->password : "") {}

std::optional<std::uint16_t> ProxyEditorPresenter::parsePort(std::string_view text) {
    return parseStandardInteger<std::uint16_t>(text);
}

bool ProxyEditorPresenter::isValid() const {
    return !unicode::trimmed(proxy_.name).empty() && !unicode::trimmed(proxy_.host).empty() &&
           parsePort(portText_).has_value();
}

std::optional<ProxyServer> ProxyEditorPresenter::save() const {
    const auto port = parsePort(portText_);
    if (!port) return std::nullopt;
    ProxyServer proxy = proxy_;
    proxy.port = *port;
    if (useAuth_) {
        proxy.credentials = ProxyCredentials{username_, password_};
    } else {
        proxy.credentials.reset();
    }
    return proxy;
}

}  // namespace corvane::app
