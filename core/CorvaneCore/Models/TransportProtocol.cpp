#include "CorvaneCore/Models/TransportProtocol.hpp"

namespace corvane {

std::string_view toString(TransportProtocol transport) {
    return transport == TransportProtocol::tcp ? "tcp" : "udp";
}

std::optional<TransportProtocol> transportProtocolFromString(std::string_view text) {
    for (TransportProtocol transport : allTransportProtocols) {
        if (toString(transport) == text) return transport;
    }
    return std::nullopt;
}

}  // namespace corvane
