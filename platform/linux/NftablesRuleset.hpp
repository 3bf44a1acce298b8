#pragma once

#include "DiversionConstants.hpp"
#include "SocketAddress.hpp"
#include "platform/TransparentProxyNetworkSettings.hpp"

#include <span>
#include <stdexcept>
#include <string>

namespace corvane::platform {

// Compiles network settings into the nftables script of the table
// `inet corvane`: excluded networks as sets (or lines when they name a port
// or a local network), included networks as lines that mark their packets for
// policy routing, and the TPROXY hook that hands marked TCP and UDP to the
// daemon's transparent sockets.
class NftablesRuleset {
public:
    // A rule the diversion cannot express; `what()` is the description.
    class Error : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // The whole table. Created with `flags owner`, it lives as long as the
    // netlink socket that loaded it.
    static std::string compile(const TransparentProxyNetworkSettings& settings, const DiversionConstants& constants);

    // The script that loads `table` in one transaction, replacing any earlier
    // version of it.
    static std::string replacement(const std::string& table, const DiversionConstants& constants);
    static std::string removal(const DiversionConstants& constants);

    // The command that adds UDP sources to the declined sets, so that later
    // datagrams of those sockets bypass the diversion for `seconds`; one
    // transaction for them all.
    static std::string declinedElements(std::span<const SocketAddress> sources, unsigned seconds,
                                        const DiversionConstants& constants);
};

}  // namespace corvane::platform
