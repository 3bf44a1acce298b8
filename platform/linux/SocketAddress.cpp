#include "SocketAddress.hpp"

#include <arpa/inet.h>
#include <cstring>

namespace corvane::platform {

SocketAddress SocketAddress::fromRaw(const sockaddr* address, socklen_t length) {
    SocketAddress result;
    std::memcpy(&result.storage, address, std::min<std::size_t>(length, sizeof(result.storage)));
    return result;
}

std::optional<SocketAddress> SocketAddress::fromText(const std::string& host, std::uint16_t port) {
    SocketAddress result;
    if (host.find('\0') != std::string::npos) return std::nullopt;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&result.storage);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        return result;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&result.storage);
    if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        return result;
    }
    return std::nullopt;
}

socklen_t SocketAddress::length() const {
    return family() == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

std::uint16_t SocketAddress::port() const {
    if (family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

std::uint32_t SocketAddress::scopeId() const {
    return family() == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_scope_id : 0;
}

const std::uint8_t* SocketAddress::addressBytes() const {
    if (family() == AF_INET6)
        return reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr.s6_addr;
    return reinterpret_cast<const std::uint8_t*>(&reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr);
}

std::string SocketAddress::hostText() const {
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(family() == AF_INET6 ? AF_INET6 : AF_INET, addressBytes(), text, sizeof(text));
    return text;
}

bool SocketAddress::isUnspecified() const {
    const auto* bytes = addressBytes();
    for (std::size_t i = 0; i < addressSize(); ++i)
        if (bytes[i] != 0) return false;
    return true;
}

SocketAddress SocketAddress::unmapped() const {
    if (family() != AF_INET6) return *this;
    const auto& v6 = *reinterpret_cast<const sockaddr_in6*>(&storage);
    if (!IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) return *this;
    SocketAddress result;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&result.storage);
    v4->sin_family = AF_INET;
    v4->sin_port = v6.sin6_port;
    std::memcpy(&v4->sin_addr, v6.sin6_addr.s6_addr + 12, 4);
    return result;
}

bool SocketAddress::sameAddress(const SocketAddress& other) const {
    return family() == other.family() && std::memcmp(addressBytes(), other.addressBytes(), addressSize()) == 0;
}

bool SocketAddress::operator==(const SocketAddress& other) const {
    return sameAddress(other) && port() == other.port();
}

}  // namespace corvane::platform
