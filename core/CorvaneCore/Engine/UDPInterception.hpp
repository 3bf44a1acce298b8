#pragma once

#include <optional>
#include <string_view>

namespace corvane {

// How the daemon treats a new UDP flow (see Profile::udpInterception).
enum class UDPInterception {
    routed,        // take it over and route each datagram by the rules
    snoopDNSOnly,  // take it over only to relay it directly and read its DNS answers
    decline,       // leave it to the system
};

// The raw text: the case name.
std::string_view toString(UDPInterception interception);
std::optional<UDPInterception> udpInterceptionFromString(std::string_view text);

}  // namespace corvane
