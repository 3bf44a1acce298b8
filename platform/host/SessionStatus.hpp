#pragma once

#include <cstdint>

namespace corvane::platform {

// The state of the tunnel session, numbered as the app logs it.
enum class SessionStatus : std::uint8_t {
    invalid = 0,
    disconnected = 1,
    connecting = 2,
    connected = 3,
    reasserting = 4,
    disconnecting = 5,
};

}  // namespace corvane::platform
