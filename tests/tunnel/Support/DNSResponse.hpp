#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::tunnel::testing {

// A DNS response for `name` with one A answer (the owner is a pointer to the question).
inline std::vector<std::uint8_t> dnsResponse(const std::string& name, const std::array<std::uint8_t, 4>& address,
                                             std::uint32_t ttl) {
    std::vector<std::uint8_t> message{0x12, 0x34, 0x81, 0x80, 0, 1, 0, 1, 0, 0, 0, 0};
    std::stringstream labels(name);
    for (std::string label; std::getline(labels, label, '.');) {
        message.push_back(static_cast<std::uint8_t>(label.size()));
        message.insert(message.end(), label.begin(), label.end());
    }
    message.insert(message.end(), {0, 0, 1, 0, 1});
    message.insert(message.end(), {0xC0, 12, 0, 1, 0, 1});
    for (int shift = 24; shift >= 0; shift -= 8) message.push_back(static_cast<std::uint8_t>(ttl >> shift));
    message.insert(message.end(), {0, 4});
    message.insert(message.end(), address.begin(), address.end());
    return message;
}

}  // namespace corvane::tunnel::testing
