#include "CorvaneCore/Logging/ConnectionStatus.hpp"

namespace corvane {

std::string_view toString(ConnectionStatus status) {
    switch (status) {
        case ConnectionStatus::active: return "active";
        case ConnectionStatus::closed: return "closed";
        case ConnectionStatus::failed: return "failed";
        case ConnectionStatus::blocked: return "blocked";
    }
    return {};
}

std::optional<ConnectionStatus> connectionStatusFromString(std::string_view text) {
    for (const ConnectionStatus status : allConnectionStatuses) {
        if (toString(status) == text) return status;
    }
    return std::nullopt;
}

}  // namespace corvane
