#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>

#include "CorvaneCore/Models/ProxyServer.hpp"
#include "Model/AppState.hpp"
#include "Model/PeriodicProxyChecks.hpp"
#include "Model/ProxyTestState.hpp"

namespace corvane::app {

// The Proxies page: one row per proxy with its health, the tests, and the
// changes the page makes to the list, each saved at once with one save. A row
// is addressed by its position and the id it showed. The periodic checks run
// while the page is shown; leaving it ends every probe still running.
class ProxiesPresenter : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::seconds kCheckPeriod{60};

    // What a row's health mark shows: nothing, a spinner, a green dot with
    // "N ms", or a red dot with "Failed"; the tooltip goes with it.
    struct Indicator {
        ProxyTestState::Kind kind = ProxyTestState::Kind::idle;
        std::string text;
        std::string tooltip;
    };
    struct Row {
        UUID id;
        std::string name;
        std::string subtitle;  // protocol · host:port [· auth]
        Indicator indicator;
    };

    explicit ProxiesPresenter(AppState& state, QObject* parent = nullptr);
    ~ProxiesPresenter() override;

    std::vector<Row> rows() const;
    bool isEmpty() const { return state_.profile().proxies.empty(); }
    static Indicator indicator(const ProxyTestState& state);
    static std::string subtitle(const ProxyServer& proxy);

    // Starts the periodic checks (the first pass at once) or ends them and
    // every probe still running.
    void setShown(bool shown);
    bool checksRunning() const { return checks_ != nullptr; }

    void test(std::size_t row, const UUID& id);
    void checkAll();

    // The proxy a row showed, for its editor; none when it is gone.
    std::optional<ProxyServer> proxy(std::size_t row, const UUID& id) const;
    // A fresh proxy for the add sheet: "New Proxy", SOCKS5, port 1080.
    static ProxyServer newProxy();
    void append(const ProxyServer& proxy);
    // The editor saved: the proxy at the row is replaced (its health cleared
    // when anything changed), unless it is gone.
    void replace(std::size_t row, const ProxyServer& edited);
    // The list's delete command: the proxies at the offsets and their health.
    void remove(const std::vector<std::size_t>& offsets);

signals:
    void changed();

private:
    void save(std::vector<ProxyServer> proxies);

    AppState& state_;
    std::unique_ptr<PeriodicProxyChecks> checks_;
};

}  // namespace corvane::app
