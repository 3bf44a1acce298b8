#pragma once

#include <cstdint>
#include <string>

namespace corvane::platform {

// The numbers the diversion is built from. The marks spell "CV" in their high
// half so that they are recognisable in `nft list ruleset` and `ip rule`.
struct DiversionConstants {
    // Carried by every socket the daemon opens outbound; the table skips it.
    std::uint32_t bypassMark = 0x43560001;
    // Set on TCP and UDP packets to divert; policy routing sends them to lo.
    std::uint32_t divertMark = 0x43560002;
    // The routing table holding the local route on lo.
    std::uint32_t routingTable = 0x4356;
    std::string tableName = "corvane";
    std::uint16_t tcpPort = 0;  // the TCP listeners (127.0.0.1 and ::1)
    std::uint16_t udpPort = 0;  // the TPROXY sockets (127.0.0.1 and ::1)
};

}  // namespace corvane::platform
