#pragma once

#include <string>

namespace corvane::platform {

// A host and a port, both as text, as the platform describes a flow's remote end.
// The host is an address literal (without zone) or a name; the port is decimal text.
struct HostEndpoint {
    std::string hostname;
    std::string port;

    friend bool operator==(const HostEndpoint&, const HostEndpoint&) = default;
};

}  // namespace corvane::platform
