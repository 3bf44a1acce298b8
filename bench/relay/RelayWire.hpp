#pragma once

// The little protocol between the relay benchmark's client and target. The first
// byte a client sends names what it wants:
//   'U'  upload: 8 bytes (big-endian) follow, then that many bytes; the target reads
//        them all, answers the count as 8 bytes and closes (no half-close: microsocks
//        ends both directions at the first end of stream).
//   'D'  download: 8 bytes (big-endian) follow; the target sends that many bytes and
//        closes.
//   'P'  ping: kPingSize - 1 bytes follow; the target sends kPingSize bytes back and
//        closes (the target closes first, so no client port lingers in TIME_WAIT).
//   'I'  idle: the target answers one byte, then holds the connection until the
//        client closes it.
#include <cstddef>
#include <cstdint>

namespace corvane::bench {

constexpr char kUpload = 'U';
constexpr char kDownload = 'D';
constexpr char kPing = 'P';
constexpr char kIdle = 'I';
constexpr std::size_t kPingSize = 16;
constexpr std::size_t kChunkSize = 256 * 1024;

inline void putCount(std::uint64_t value, unsigned char* out) {
    for (int i = 7; i >= 0; --i, value >>= 8) out[i] = static_cast<unsigned char>(value & 0xFF);
}

inline std::uint64_t getCount(const unsigned char* in) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | in[i];
    return value;
}

}  // namespace corvane::bench
