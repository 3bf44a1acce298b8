#include "ChainEditorPresenter.hpp"

#include <algorithm>

#include "Presenters/ListMove.hpp"

namespace corvane::app {

ChainEditorPresenter::ChainEditorPresenter(std::vector<ProxyServer> proxies, ProxyListPurpose purpose,
                                           std::vector<UUID> chain)
    : proxies_(std::move(proxies)), purpose_(purpose), chain_(std::move(chain)) {}

std::vector<ChainEditorPresenter::Hop> ChainEditorPresenter::hops() const {
    std::vector<Hop> hops;
    for (std::size_t p = 0; p < chain_.size(); ++p)
        hops.push_back({chain_[p], std::to_string(p + 1), name(chain_[p]), role(p)});
    return hops;
}

std::vector<ChainEditorPresenter::Available> ChainEditorPresenter::available() const {
    std::vector<Available> result;
    for (const ProxyServer& proxy : proxies_) {
        if (std::find(chain_.begin(), chain_.end(), proxy.id) != chain_.end()) continue;
        result.push_back({proxy.id, proxy.name,
                          std::string(displayName(proxy.kind)) + " · " + proxy.endpointDescription()});
    }
    return result;
}

std::string ChainEditorPresenter::name(const UUID& id) const {
    for (const ProxyServer& proxy : proxies_)
        if (proxy.id == id) return proxy.name;
    return "(removed)";
}

std::string ChainEditorPresenter::role(std::size_t position) const {
    const bool last = position + 1 == chain_.size();
    if (purpose_ == ProxyListPurpose::failover) return position == 0 ? "primary" : last ? "last resort" : "then";
    return last ? "→ destination" : "→ " + name(chain_[position + 1]);
}

std::string ChainEditorPresenter::header() const {
    return purpose_ == ProxyListPurpose::chain ? "Chain order" : "Preference order";
}

std::string ChainEditorPresenter::footer() const {
    if (purpose_ == ProxyListPurpose::chain) return "Drag to reorder. Traffic goes through the hops top to bottom.";
    return "Drag to reorder. The first proxy that accepts the connection carries it — the rest are spares. Only "
           "list proxies you would be equally happy to exit from.";
}

std::optional<std::string> ChainEditorPresenter::hint() const {
    if (chain_.size() != 1) return std::nullopt;
    return purpose_ == ProxyListPurpose::chain ? "A single hop is just a normal proxy rule."
                                               : "With one proxy there is nothing to fail over to.";
}

std::string ChainEditorPresenter::useTitle() const {
    return purpose_ == ProxyListPurpose::chain ? "Use Chain" : "Use Failover";
}

void ChainEditorPresenter::add(const UUID& id) {
    if (std::find(chain_.begin(), chain_.end(), id) == chain_.end()) chain_.push_back(id);
}

void ChainEditorPresenter::remove(const UUID& id) { std::erase(chain_, id); }

void ChainEditorPresenter::move(const std::vector<std::size_t>& offsets, std::size_t destination) {
    moveElements(chain_, offsets, destination);
}

}  // namespace corvane::app
