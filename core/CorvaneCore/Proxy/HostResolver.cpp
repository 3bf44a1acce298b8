#include "CorvaneCore/Proxy/HostResolver.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace corvane::detail {
namespace {

std::error_code lookupError(int status) {
    switch (status) {
    case EAI_SYSTEM: return {errno, asio::system_category()};
    case EAI_NONAME:
    case EAI_NODATA: return asio::error::host_not_found;
    case EAI_AGAIN: return asio::error::host_not_found_try_again;
    default: return {status, asio::error::get_addrinfo_category()};
    }
}

bool readsAsNumericAddress(const std::string& host) {
    in_addr ignored{};
    return inet_aton(host.c_str(), &ignored) != 0;
}

}  // namespace

std::pair<std::error_code, AddressList> lookUpHost(const std::string& host) {
    if (host.empty() || host.find('\0') != std::string::npos || readsAsNumericAddress(host)) {
        return {asio::error::host_not_found, {}};
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &results);
    if (status != 0) return {lookupError(status), {}};
    AddressList addresses;
    for (const addrinfo* entry = results; entry; entry = entry->ai_next) {
        asio::ip::address address;
        if (entry->ai_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
            address = asio::ip::address_v4(ntohl(in->sin_addr.s_addr));
        } else if (entry->ai_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ai_addr);
            asio::ip::address_v6::bytes_type bytes;
            std::copy_n(in6->sin6_addr.s6_addr, 16, bytes.begin());
            address = asio::ip::address_v6(bytes, in6->sin6_scope_id);
        } else {
            continue;
        }
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) addresses.push_back(address);
    }
    freeaddrinfo(results);
    if (addresses.empty()) return {asio::error::host_not_found, {}};
    return {{}, addresses};
}

asio::thread_pool& lookupPool() {
    static asio::thread_pool pool(2);
    return pool;
}

}  // namespace corvane::detail
