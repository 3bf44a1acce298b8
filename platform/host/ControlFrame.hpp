#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/Bytes.hpp"

namespace corvane::platform {

// The kinds of frames on the control socket. Client to daemon: hello … subscribe;
// daemon to client: reply (to a request id) and status (pushed, request id 0).
enum class ControlKind : std::uint8_t {
    hello = 1,
    loadConfigurations = 2,
    saveConfiguration = 3,
    start = 4,
    stop = 5,
    message = 6,
    subscribe = 7,
    reply = 0x81,
    status = 0x82,
};

// One frame: u32 big-endian length of the rest, u8 kind, u32 big-endian request
// id, payload. A reply's payload starts with a flag byte (1: data or success
// follows; 0: no data, or an error text follows).
struct ControlFrame {
    ControlKind kind = ControlKind::hello;
    std::uint32_t requestId = 0;
    Bytes payload;

    friend bool operator==(const ControlFrame&, const ControlFrame&) = default;

    // Most bytes after the length field.
    static constexpr std::size_t kMaxLength = 16 * 1024 * 1024;

    Bytes encode() const;
    static ControlFrame reply(std::uint32_t requestId, bool flag, const Bytes& data = {});
};

// A frame that breaks the format: too long, too short, or of an unknown kind.
class ControlProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Cuts a byte stream into frames. The length is checked before any payload is
// buffered, so a peer cannot make the daemon hold more than one maximal frame.
class ControlFrameDecoder {
public:
    // Adds bytes; throws ControlProtocolError on a malformed frame.
    void feed(const std::uint8_t* data, std::size_t size);
    // The next complete frame, if any.
    std::optional<ControlFrame> next();

private:
    Bytes buffer_;
    std::vector<ControlFrame> ready_;
    std::size_t readyIndex_ = 0;
};

}  // namespace corvane::platform
