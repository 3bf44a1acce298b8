#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "CorvaneCore/Models/ProxyServer.hpp"
#include "ProxyListPurpose.hpp"

namespace corvane::app {

// The chain and failover editor's list of proxy identifiers, over the proxies
// of the profile as they were when the sheet opened. The purpose decides the
// texts and the roles; the caller gets the list only through "Use".
class ChainEditorPresenter {
public:
    struct Hop {
        UUID id;
        std::string number;
        std::string name;
        std::string role;
    };
    struct Available {
        UUID id;
        std::string name;
        std::string detail;  // protocol · host:port
    };

    ChainEditorPresenter(std::vector<ProxyServer> proxies, ProxyListPurpose purpose, std::vector<UUID> chain);

    ProxyListPurpose purpose() const { return purpose_; }
    const std::vector<UUID>& chain() const { return chain_; }

    std::vector<Hop> hops() const;
    // The proxies not in the list, in the profile's order.
    std::vector<Available> available() const;
    // The name of the first proxy with the id, or "(removed)".
    std::string name(const UUID& id) const;

    std::string header() const;
    std::string footer() const;
    // The hint for a list of one; none otherwise.
    std::optional<std::string> hint() const;
    std::string useTitle() const;
    bool canUse() const { return !chain_.empty(); }

    void add(const UUID& id);
    // Removes every occurrence of the id.
    void remove(const UUID& id);
    void move(const std::vector<std::size_t>& offsets, std::size_t destination);

private:
    std::string role(std::size_t position) const;

    std::vector<ProxyServer> proxies_;
    ProxyListPurpose purpose_;
    std::vector<UUID> chain_;
};

}  // namespace corvane::app
