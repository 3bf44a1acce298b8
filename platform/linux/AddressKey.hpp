#pragma once

#include "SocketAddress.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>

namespace corvane::platform {

// A socket address (family, address, port; no scope id) as a small hashable
// value, for tables that every datagram looks up.
struct AddressKey {
    std::array<std::uint8_t, 16> address{};
    std::uint16_t port = 0;
    std::uint8_t family = 0;

    explicit AddressKey(const SocketAddress& from)
        : port(from.port()), family(static_cast<std::uint8_t>(from.family())) {
        std::memcpy(address.data(), from.addressBytes(), from.addressSize());
    }
    bool operator==(const AddressKey&) const = default;
};

struct AddressKeyHash {
    std::size_t operator()(const AddressKey& key) const {
        std::uint64_t high = 0;
        std::uint64_t low = 0;
        std::memcpy(&high, key.address.data(), 8);
        std::memcpy(&low, key.address.data() + 8, 8);
        const std::uint64_t mixed = (high * 0x9E3779B97F4A7C15ULL) ^ low ^ (std::uint64_t(key.port) << 8 | key.family);
        return std::hash<std::uint64_t>{}(mixed * 0xBF58476D1CE4E5B9ULL);
    }
};

}  // namespace corvane::platform
