#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace corvane {

enum class TransportProtocol { tcp, udp };

inline constexpr std::array<TransportProtocol, 2> allTransportProtocols{TransportProtocol::tcp,
                                                                        TransportProtocol::udp};

// The raw text: the case name.
std::string_view toString(TransportProtocol transport);
std::optional<TransportProtocol> transportProtocolFromString(std::string_view text);

}  // namespace corvane
