#pragma once

#include "CorvaneCore/Support/JsonReader.hpp"

#include <cstddef>
#include <functional>
#include <string>

namespace corvane {

// User name and password for a proxy. An empty password is legal: the stored
// profile file holds every password empty.
struct ProxyCredentials {
    std::string username;
    std::string password;

    static ProxyCredentials fromJson(const json::Json& value);
    friend bool operator==(const ProxyCredentials&, const ProxyCredentials&) = default;
};

json::Json toJson(const ProxyCredentials& credentials);

}  // namespace corvane

template <>
struct std::hash<corvane::ProxyCredentials> {
    std::size_t operator()(const corvane::ProxyCredentials& credentials) const noexcept;
};
