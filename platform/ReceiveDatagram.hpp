#pragma once

#include <cstddef>
#include <optional>

#include "platform/Bytes.hpp"
#include "platform/Error.hpp"

namespace corvane::platform {

// Largest UDP payload a socket can hand over.
constexpr std::size_t kMaximumDatagramSize = 65536;

// Takes the next queued datagram of a UDP socket without waiting, into a buffer
// of exactly its size: what waits for data holds no buffer of its own. Nothing
// with `error` set when the socket has none queued (EAGAIN) or failed.
std::optional<Bytes> receiveDatagram(int socket, Error& error);

}  // namespace corvane::platform
