#include "ProxiesPresenter.hpp"

#include "Presenters/ListMove.hpp"
#include "Presenters/RowAddress.hpp"

namespace corvane::app {

ProxiesPresenter::ProxiesPresenter(AppState& state, QObject* parent) : QObject(parent), state_(state) {
    connect(&state_, &AppState::profileChanged, this, &ProxiesPresenter::changed);
    connect(&state_.proxyHealth(), &ProxyHealthMonitor::statesChanged, this, &ProxiesPresenter::changed);
}

std::vector<ProxiesPresenter::Row> ProxiesPresenter::rows() const {
    const auto& states = state_.proxyHealth().states();
    std::vector<Row> rows;
    for (const ProxyServer& proxy : state_.profile().proxies) {
        const auto it = states.find(proxy.id);
        rows.push_back({proxy.id, proxy.name, subtitle(proxy),
                        indicator(it == states.end() ? ProxyTestState::idle() : it->second)});
    }
    return rows;
}

ProxiesPresenter::Indicator ProxiesPresenter::indicator(const ProxyTestState& state) {
    switch (state.kind) {
        case ProxyTestState::Kind::success: {
            const std::string ms = std::to_string(state.milliseconds) + " ms";
            return {state.kind, ms, "Handshake through the proxy succeeded in " + ms};
        }
        case ProxyTestState::Kind::failure: return {state.kind, "Failed", state.message};
        default: return {state.kind, "", ""};
    }
}

std::string ProxiesPresenter::subtitle(const ProxyServer& proxy) {
    std::string text = std::string(displayName(proxy.kind)) + " · " + proxy.endpointDescription();
    if (proxy.credentials) text += " · auth";
    return text;
}

ProxiesPresenter::~ProxiesPresenter() {
    // The page that listens is going too: it must not redraw from here.
    blockSignals(true);
    if (checks_) setShown(false);
}

void ProxiesPresenter::setShown(bool shown) {
    if (!shown) {
        checks_.reset();
        state_.proxyHealth().stopProbes();
    } else if (!checks_) {
        checks_ = state_.proxyHealth().runPeriodicChecks([&state = state_] { return state.profile().proxies; },
                                                         kCheckPeriod);
    }
}

void ProxiesPresenter::test(std::size_t row, const UUID& id) {
    if (const auto found = proxy(row, id)) state_.proxyHealth().probe(*found);
}

void ProxiesPresenter::checkAll() {
    const auto proxies = state_.profile().proxies;
    for (const ProxyServer& proxy : proxies) state_.proxyHealth().probe(proxy);
}

std::optional<ProxyServer> ProxiesPresenter::proxy(std::size_t row, const UUID& id) const {
    const auto& proxies = state_.profile().proxies;
    const auto at = locateRow(proxies, row, id);
    if (!at) return std::nullopt;
    return proxies[*at];
}

ProxyServer ProxiesPresenter::newProxy() {
    ProxyServer proxy;
    proxy.id = UUID::random();
    proxy.name = "New Proxy";
    proxy.kind = ProxyProtocol::socks5;
    proxy.port = 1080;
    proxy.resolvesHostnamesRemotely = true;
    return proxy;
}

void ProxiesPresenter::append(const ProxyServer& proxy) {
    auto proxies = state_.profile().proxies;
    proxies.push_back(proxy);
    save(std::move(proxies));
}

void ProxiesPresenter::replace(std::size_t row, const ProxyServer& edited) {
    auto proxies = state_.profile().proxies;
    const auto at = locateRow(proxies, row, edited.id);
    if (!at) return;
    if (proxies[*at] != edited) state_.proxyHealth().invalidate(edited.id);
    proxies[*at] = edited;
    save(std::move(proxies));
}

void ProxiesPresenter::remove(const std::vector<std::size_t>& offsets) {
    auto proxies = state_.profile().proxies;
    for (std::size_t offset : offsets)
        if (offset < proxies.size()) state_.proxyHealth().invalidate(proxies[offset].id);
    removeElements(proxies, offsets);
    save(std::move(proxies));
}

void ProxiesPresenter::save(std::vector<ProxyServer> proxies) {
    Profile profile = state_.profile();
    profile.proxies = std::move(proxies);
    state_.setProfile(std::move(profile));
    state_.saveProfile();
}

}  // namespace corvane::app
