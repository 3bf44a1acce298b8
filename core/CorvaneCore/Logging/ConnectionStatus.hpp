#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace corvane {

// The state of one logged connection; compares in declaration order.
enum class ConnectionStatus { active, closed, failed, blocked };

inline constexpr std::array<ConnectionStatus, 4> allConnectionStatuses{
    ConnectionStatus::active, ConnectionStatus::closed, ConnectionStatus::failed,
    ConnectionStatus::blocked};

// The raw text: the case name.
std::string_view toString(ConnectionStatus status);
std::optional<ConnectionStatus> connectionStatusFromString(std::string_view text);

}  // namespace corvane
