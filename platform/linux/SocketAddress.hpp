#pragma once

#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <utility>

namespace corvane::platform {

// An IPv4 or IPv6 socket address (with the IPv6 scope id), the unit in which
// the diversion names the ends of a flow.
struct SocketAddress {
    sockaddr_storage storage{};

    static SocketAddress fromRaw(const sockaddr* address, socklen_t length);
    static std::optional<SocketAddress> fromText(const std::string& host, std::uint16_t port);

    int family() const { return storage.ss_family; }
    socklen_t length() const;
    const sockaddr* raw() const { return reinterpret_cast<const sockaddr*>(&storage); }
    sockaddr* raw() { return reinterpret_cast<sockaddr*>(&storage); }

    std::uint16_t port() const;
    std::uint32_t scopeId() const;
    // The 4 or 16 address bytes.
    const std::uint8_t* addressBytes() const;
    std::uint8_t* addressBytes() { return const_cast<std::uint8_t*>(std::as_const(*this).addressBytes()); }
    std::size_t addressSize() const { return family() == AF_INET6 ? 16 : 4; }
    // inet_ntop text, without a zone.
    std::string hostText() const;
    bool isUnspecified() const;
    // An IPv4-mapped IPv6 address as IPv4; any other address unchanged.
    SocketAddress unmapped() const;

    bool sameAddress(const SocketAddress& other) const;
    bool operator==(const SocketAddress& other) const;
};

}  // namespace corvane::platform
