#include "platform/host/ControlFrame.hpp"

#include <algorithm>

namespace corvane::platform {

namespace {

constexpr std::size_t kHeader = 4;
constexpr std::size_t kMinLength = 5;  // kind and request id

void putU32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t getU32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

bool isKnownKind(std::uint8_t kind) {
    return (kind >= 1 && kind <= 7) || kind == 0x81 || kind == 0x82;
}

}  // namespace

Bytes ControlFrame::encode() const {
    if (payload.size() > kMaxLength - kMinLength) throw ControlProtocolError("Frame too long");
    Bytes out;
    out.reserve(kHeader + kMinLength + payload.size());
    putU32(out, static_cast<std::uint32_t>(kMinLength + payload.size()));
    out.push_back(static_cast<std::uint8_t>(kind));
    putU32(out, requestId);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

ControlFrame ControlFrame::reply(std::uint32_t requestId, bool flag, const Bytes& data) {
    ControlFrame frame{ControlKind::reply, requestId, {}};
    frame.payload.reserve(1 + data.size());
    frame.payload.push_back(flag ? 1 : 0);
    frame.payload.insert(frame.payload.end(), data.begin(), data.end());
    return frame;
}

void ControlFrameDecoder::feed(const std::uint8_t* data, std::size_t size) {
    buffer_.insert(buffer_.end(), data, data + size);
    std::size_t pos = 0;
    while (buffer_.size() - pos >= kHeader) {
        const std::uint32_t length = getU32(buffer_.data() + pos);
        if (length > ControlFrame::kMaxLength) throw ControlProtocolError("Frame too long");
        if (length < kMinLength) throw ControlProtocolError("Frame too short");
        if (buffer_.size() - pos < kHeader + 1) break;
        const std::uint8_t kind = buffer_[pos + kHeader];
        if (!isKnownKind(kind)) throw ControlProtocolError("Unknown frame kind");
        if (buffer_.size() - pos < kHeader + length) break;
        const std::uint8_t* body = buffer_.data() + pos + kHeader;
        ready_.push_back(ControlFrame{static_cast<ControlKind>(kind), getU32(body + 1),
                                      Bytes(body + kMinLength, body + length)});
        pos += kHeader + length;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos));
}

std::optional<ControlFrame> ControlFrameDecoder::next() {
    if (readyIndex_ == ready_.size()) {
        ready_.clear();
        readyIndex_ = 0;
        return std::nullopt;
    }
    return std::move(ready_[readyIndex_++]);
}

}  // namespace corvane::platform
