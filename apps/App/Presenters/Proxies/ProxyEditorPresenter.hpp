#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "CorvaneCore/Models/ProxyServer.hpp"

namespace corvane::app {

// The proxy editor's working copy: name, host, protocol and the resolve flag
// edited directly, the port and the credentials in their own fields until
// save() writes them in. Nothing is stored: save() hands back the proxy.
class ProxyEditorPresenter {
public:
    explicit ProxyEditorPresenter(ProxyServer proxy);

    const ProxyServer& proxy() const { return proxy_; }
    void setName(std::string name) { proxy_.name = std::move(name); }
    void setHost(std::string host) { proxy_.host = std::move(host); }
    void setKind(ProxyProtocol kind) { proxy_.kind = kind; }
    void setResolvesHostnamesRemotely(bool on) { proxy_.resolvesHostnamesRemotely = on; }
    // The resolve switch is offered for SOCKS5 only; its value stays while hidden.
    bool showsResolveOption() const { return proxy_.kind == ProxyProtocol::socks5; }

    const std::string& portText() const { return portText_; }
    void setPortText(std::string text) { portText_ = std::move(text); }
    bool usesAuthentication() const { return useAuth_; }
    void setUsesAuthentication(bool on) { useAuth_ = on; }
    const std::string& username() const { return username_; }
    const std::string& password() const { return password_; }
    void setUsername(std::string text) { username_ = std::move(text); }
    void setPassword(std::string text) { password_ = std::move(text); }

    // The port as typed, untrimmed: one optional sign, digits, 0–65535 ("-0" is 0).
    static std::optional<std::uint16_t> parsePort(std::string_view text);
    // A name and a host of more than spaces and tabs, and a port.
    bool isValid() const;
    // The finished proxy: the port, and the credentials exactly as typed when
    // authentication is on (else none). None while the port does not parse.
    std::optional<ProxyServer> save() const;

private:
    ProxyServer proxy_;
    std::string portText_;
    bool useAuth_;
    std::string username_;
    std::string password_;
};

}  // namespace corvane::app
